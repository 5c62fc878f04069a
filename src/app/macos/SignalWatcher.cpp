#include "app/SignalWatcher.h"

#include <QPointer>
#include <QSocketNotifier>
#include <csignal>
#include <dispatch/dispatch.h>

// SIGTERM and SIGINT as dispatch sources on the main queue: the signals are
// ignored by the process and reach the watcher as events instead, which is
// how launchd's "stop" and Ctrl+C in a terminal end the program like Quit.

namespace gm::app {

namespace {

dispatch_source_t sources[2] = {nullptr, nullptr};
constexpr int kSignals[2] = {SIGTERM, SIGINT};
struct sigaction previous[2];

}  // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    QPointer<SignalWatcher> self(this);
    for (int i = 0; i < 2; ++i) {
        const int number = kSignals[i];
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(number, &ignore, &previous[i]);
        sources[i] = dispatch_source_create(DISPATCH_SOURCE_TYPE_SIGNAL, static_cast<uintptr_t>(number), 0,
                                            dispatch_get_main_queue());
        dispatch_source_set_event_handler(sources[i], ^{
          if (self) emit self->terminationRequested(number);
        });
        dispatch_resume(sources[i]);
    }
}

SignalWatcher::~SignalWatcher() {
    for (int i = 0; i < 2; ++i) {
        if (!sources[i]) continue;
        dispatch_source_cancel(sources[i]);
        dispatch_release(sources[i]);
        sources[i] = nullptr;
        ::sigaction(kSignals[i], &previous[i], nullptr);
    }
}

}  // namespace gm::app
