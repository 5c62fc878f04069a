#include "platform/linux/JournalLogSink.h"

#include <sys/stat.h>
#include <syslog.h>

#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>

namespace gm::platform {

namespace {

int priority(LogLevel level) {
    switch (level) {
    case LogLevel::Debug: return LOG_DEBUG;
    case LogLevel::Info: return LOG_INFO;
    case LogLevel::Default: return LOG_NOTICE;
    case LogLevel::Error: return LOG_ERR;
    case LogLevel::Fault: return LOG_CRIT;
    }
    return LOG_NOTICE;
}

}  // namespace

void JournalLogSink::write(LogLevel level, std::string_view subsystem, std::string_view category,
                           std::string_view message) {
    // The journal API takes C strings.
    const std::string text(message);
    const std::string subsystemText(subsystem);
    const std::string categoryText(category);
    int result = sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%i", priority(level),
                                 "SYSLOG_IDENTIFIER=glidemark", "SUBSYSTEM=%s", subsystemText.c_str(),
                                 "CATEGORY=%s", categoryText.c_str(), nullptr);
    if (result < 0) fallback_.write(level, subsystem, category, message);
}

std::unique_ptr<LogSink> makeSystemLogSink(const std::string& journalSocket) {
    struct stat info {};
    if (::stat(journalSocket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) return std::make_unique<JournalLogSink>();
    return std::make_unique<StderrLogSink>();
}

}  // namespace gm::platform
