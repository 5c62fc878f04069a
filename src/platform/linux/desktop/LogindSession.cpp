#include "platform/linux/desktop/LogindSession.h"

#include <systemd/sd-bus.h>

#include <cstdlib>
#include <cstring>

#include "platform/Log.h"

namespace gm::platform::linux_desktop {
namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";

// Reads PropertiesChanged(s interface, a{sv} changed, as invalidated).
int readActiveChange(sd_bus_message* m, ActiveChange& out) {
    const char* interface = nullptr;
    int r = sd_bus_message_read(m, "s", &interface);
    if (r < 0) return r;
    if (!interface || std::strcmp(interface, kSessionInterface) != 0) return 0;
    if ((r = sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sv}")) < 0) return r;
    while ((r = sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv")) > 0) {
        const char* name = nullptr;
        if ((r = sd_bus_message_read(m, "s", &name)) < 0) return r;
        if (name && std::strcmp(name, "Active") == 0) {
            int value = 0;
            if ((r = sd_bus_message_read(m, "v", "b", &value)) < 0) return r;
            out.active = value != 0;
        } else if ((r = sd_bus_message_skip(m, "v")) < 0) {
            return r;
        }
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    }
    if (r < 0) return r;
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    char** invalidated = nullptr;
    if ((r = sd_bus_message_read_strv(m, &invalidated)) < 0) return r;
    for (char** s = invalidated; s && *s; ++s) {
        if (std::strcmp(*s, "Active") == 0) out.invalidated = true;
        std::free(*s);
    }
    std::free(invalidated);
    return 1;
}

}  // namespace

SessionActivity::Transition SessionActivity::update(bool active) {
    if (active == active_) return Transition::None;
    active_ = active;
    return active ? Transition::BecameActive : Transition::Resigned;
}

struct LogindSession::Bus {
    sd_bus* bus = nullptr;
    sd_bus_slot* slot = nullptr;
    ~Bus() {
        sd_bus_slot_unref(slot);
        sd_bus_flush_close_unref(bus);
    }
};

LogindSession::LogindSession(DispatchQueue& queue, Callbacks callbacks)
    : queue_(queue), callbacks_(std::move(callbacks)), bus_(std::make_unique<Bus>()) {}

LogindSession::~LogindSession() = default;

std::unique_ptr<LogindSession> LogindSession::open(DispatchQueue& queue, Callbacks callbacks) {
    std::unique_ptr<LogindSession> session(new LogindSession(queue, std::move(callbacks)));
    auto& bus = session->bus_->bus;
    if (sd_bus_open_system(&bus) < 0) return nullptr;
    // "auto" names our own session; signals come from its real object path.
    sd_bus_error error = SD_BUS_ERROR_NULL;
    char* id = nullptr;
    const int r = sd_bus_get_property_string(bus, kLogind, "/org/freedesktop/login1/session/auto", kSessionInterface,
                                             "Id", &error, &id);
    sd_bus_error_free(&error);
    if (r < 0 || !id) return nullptr;
    char* path = nullptr;
    const int e = sd_bus_path_encode("/org/freedesktop/login1/session", id, &path);
    std::free(id);
    if (e < 0 || !path) return nullptr;
    session->path_ = path;
    std::free(path);

    const auto handler = [](sd_bus_message* m, void* userdata, sd_bus_error*) -> int {
        ActiveChange change;
        if (readActiveChange(m, change) > 0) static_cast<LogindSession*>(userdata)->apply(change);
        return 0;
    };
    if (sd_bus_match_signal(bus, &session->bus_->slot, kLogind, session->path_.c_str(),
                            "org.freedesktop.DBus.Properties", "PropertiesChanged", handler, session.get()) < 0)
        return nullptr;
    if (const auto active = session->readActive(); active && !*active) session->apply(ActiveChange{false, false});
    return session;
}

int LogindSession::fd() const { return sd_bus_get_fd(bus_->bus); }

void LogindSession::process() {
    while (sd_bus_process(bus_->bus, nullptr) > 0) {
    }
}

std::optional<bool> LogindSession::readActive() const {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int value = 0;
    const int r = sd_bus_get_property_trivial(bus_->bus, kLogind, path_.c_str(), kSessionInterface, "Active", &error,
                                              'b', &value);
    sd_bus_error_free(&error);
    if (r < 0) return std::nullopt;
    return value != 0;
}

void LogindSession::apply(const ActiveChange& change) {
    auto active = change.active;
    if (!active && change.invalidated && bus_->bus) active = readActive();
    if (!active) return;
    switch (activity_.update(*active)) {
        case SessionActivity::Transition::BecameActive:
            if (callbacks_.becameActive) queue_.async(callbacks_.becameActive);
            break;
        case SessionActivity::Transition::Resigned:
            if (callbacks_.resigned) queue_.async(callbacks_.resigned);
            break;
        case SessionActivity::Transition::None:
            break;
    }
}

}  // namespace gm::platform::linux_desktop
