#include "platform/linux/DeviceHub.h"

#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Log.h"

namespace gm::platform::linux_input {

double monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

namespace {
constexpr std::uint64_t kWakeTag = ~std::uint64_t{0};
constexpr std::uint64_t kMonitorTag = ~std::uint64_t{0} - 1;
constexpr std::uint64_t kWatchdogTag = ~std::uint64_t{0} - 2;

void appendSyn(std::vector<input_event>& out) { out.push_back(makeEvent(EV_SYN, SYN_REPORT, 0)); }
}  // namespace

bool DeviceHub::Clone::write(std::span<const input_event> frame) {
    return sink && sink->writeFrame(frame);
}

DeviceHub::DeviceHub(DeviceBackend& backend, DeviceMonitor& monitor, Options options)
    : backend_(backend), monitor_(monitor), options_(options) {}

DeviceHub::~DeviceHub() { stop(); }

void DeviceHub::setListener(HubListener* listener) { listener_.store(listener); }

void DeviceHub::start() {
    if (running_.exchange(true)) return;
    quit_.store(false);
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeTag;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev);
    if (monitor_.pollFd() >= 0) {
        ev.data.u64 = kMonitorTag;
        epoll_ctl(epollFd_, EPOLL_CTL_ADD, monitor_.pollFd(), &ev);
    }
    thread_ = std::thread([this] { run(); });
}

void DeviceHub::stop() {
    if (!running_.load()) return;
    quit_.store(true);
    wake();
    if (thread_.joinable()) thread_.join();
    {
        // Under the lock: sync() wakes the thread through wakeFd_ while holding it.
        std::lock_guard lock(mutex_);
        close(wakeFd_);
        close(epollFd_);
        wakeFd_ = epollFd_ = -1;
        syncServed_ = syncRequested_;
        running_.store(false);
    }
    syncCv_.notify_all();
}

void DeviceHub::wake() {
    std::uint64_t one = 1;
    if (wakeFd_ >= 0) {
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    }
}

void DeviceHub::sync() {
    std::unique_lock lock(mutex_);
    if (!running_.load()) return;
    const std::uint64_t ticket = ++syncRequested_;
    wake();
    syncCv_.wait(lock, [&] { return syncServed_ >= ticket || !running_.load(); });
}

void DeviceHub::run() {
    pthread_setname_np(pthread_self(), "gm-hub");
    watchdog_ = backend_.startWatchdog();
    if (watchdog_) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = kWatchdogTag;
        epoll_ctl(epollFd_, EPOLL_CTL_ADD, watchdog_->pollFd(), &ev);
    }
    // The monitor subscribed when it was made; enumerating only now means a
    // mouse plugged in meanwhile shows up in one of the two, never in neither.
    for (const DeviceInfo& info : monitor_.enumerate()) addDevice(info);

    std::map<std::string, DeviceMonitor::Change> settling;
    double settleAt = 0;
    std::vector<DeviceMonitor::Change> changes;
    auto collect = [&] {
        changes.clear();
        monitor_.receive(changes);
        for (auto& c : changes) settling[c.info.id] = c;
        if (!changes.empty()) settleAt = monotonicSeconds() + options_.settleSeconds;
    };
    auto applySettled = [&](bool force) {
        if (settling.empty() || (!force && monotonicSeconds() < settleAt)) return;
        std::vector<DeviceMonitor::Change> batch;
        for (auto& [id, c] : settling) batch.push_back(c);
        settling.clear();
        applyChanges(batch);
    };

    epoll_event events[16];
    while (!quit_.load()) {
        int timeoutMs = -1;
        if (!settling.empty()) {
            const double left = settleAt - monotonicSeconds();
            timeoutMs = left <= 0 ? 0 : static_cast<int>(std::ceil(left * 1000.0));
        }
        const int n = epoll_wait(epollFd_, events, 16, timeoutMs);
        if (n < 0 && errno != EINTR) break;
        if (watchdog_) watchdog_->alive();
        // Mice handed back while we were stopped come first: what they queued
        // meanwhile has reached the desktop directly and must not go out twice.
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u64 == kWatchdogTag) takeBackHandedBack();
        }
        for (int i = 0; i < n; ++i) {
            const std::uint64_t tag = events[i].data.u64;
            if (tag == kWatchdogTag) {
                continue;
            } else if (tag == kWakeTag) {
                std::uint64_t count = 0;
                [[maybe_unused]] auto r = ::read(wakeFd_, &count, sizeof count);
            } else if (tag == kMonitorTag) {
                collect();
            } else {
                auto it = devices_.find(static_cast<DeviceId>(tag));
                if (it != devices_.end()) readDevice(it->second);
            }
        }
        applySettled(false);

        bool syncWanted = false;
        {
            std::lock_guard lock(mutex_);
            syncWanted = syncRequested_ > syncServed_;
        }
        if (syncWanted) {
            std::uint64_t ticket = 0;
            {
                std::lock_guard lock(mutex_);
                ticket = syncRequested_;
            }
            collect();
            applySettled(options_.settleSeconds <= 0);
            std::vector<DeviceId> ids;
            for (auto& [id, d] : devices_) ids.push_back(id);
            for (DeviceId id : ids) {
                auto it = devices_.find(id);
                if (it != devices_.end()) readDevice(it->second);
            }
            {
                std::lock_guard lock(mutex_);
                syncServed_ = ticket;
            }
            syncCv_.notify_all();
        }
    }
    while (!devices_.empty()) removeDevice(devices_.begin()->first, false);
    watchdog_.reset();
}

void DeviceHub::takeBackHandedBack() {
    std::vector<std::uint32_t> ids;
    if (!watchdog_->receive(ids)) {
        log().error("glidemark-watchdog ended: if Glidemark stops answering, the mouse stays with it");
        epoll_ctl(epollFd_, EPOLL_CTL_DEL, watchdog_->pollFd(), nullptr);
        watchdog_.reset();
    }
    for (std::uint32_t id : ids) {
        auto it = devices_.find(id);
        if (it == devices_.end()) continue;
        Device& device = it->second;
        log().error("wheel mouse handed back to the desktop while Glidemark was not answering: " + device.info.name);
        // The watchdog let go of the grab and of every button on the twin.
        device.stage = Stage::WaitingForRelease;
        device.handedBack = true;
        device.keysDown.clear();
        device.pending.clear();
        scratch_.clear();
        device.source->read(scratch_);
        if (!tryGrab(device)) removeDevice(id, false);
    }
}

void DeviceHub::applyChanges(const std::vector<DeviceMonitor::Change>& changes) {
    for (const auto& change : changes) {
        DeviceId existing = 0;
        for (auto& [id, d] : devices_) {
            if (d.info.id == change.info.id) existing = id;
        }
        if (!change.added) {
            if (existing) removeDevice(existing, true);
        } else if (!existing) {
            addDevice(change.info);
        }
    }
}

void DeviceHub::addDevice(const DeviceInfo& info) {
    for (auto& [id, d] : devices_) {
        if (d.info.id == info.id) return;
    }
    auto source = backend_.open(info);
    if (!source) return;
    auto sink = backend_.createClone(*source);
    if (!sink) {
        log().error("cannot create a virtual twin for " + info.name);
        return;
    }
    const DeviceId id = nextId_++;
    Device device;
    device.id = id;
    device.info = info;
    device.source = std::move(source);
    device.clone = std::make_shared<Clone>();
    device.clone->sink = std::move(sink);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = id;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, device.source->pollFd(), &ev);
    {
        std::lock_guard lock(mutex_);
        clones_[id] = device.clone;
        names_[id] = info.id;
    }
    auto [it, inserted] = devices_.emplace(id, std::move(device));
    log().info("wheel mouse added: " + info.name);
    if (!tryGrab(it->second)) removeDevice(id, false);
}

void DeviceHub::removeDevice(DeviceId id, bool sourceGone) {
    auto it = devices_.find(id);
    if (it == devices_.end()) return;
    Device& device = it->second;
    epoll_ctl(epollFd_, EPOLL_CTL_DEL, device.source->pollFd(), nullptr);
    if (watchdog_) watchdog_->unwatch(id);
    {
        std::lock_guard lock(device.clone->mutex);
        if (!device.keysDown.empty()) {
            // Whatever we forwarded as held must not stay held on the desktop.
            std::vector<input_event> release;
            for (std::uint16_t code : device.keysDown) release.push_back(makeEvent(EV_KEY, code, 0));
            appendSyn(release);
            device.clone->write(release);
        }
        device.clone->sink.reset();
    }
    if (!sourceGone && device.stage == Stage::Forwarding) device.source->grab(false);
    {
        std::lock_guard lock(mutex_);
        clones_.erase(id);
        names_.erase(id);
    }
    log().info(std::string(sourceGone ? "wheel mouse gone: " : "wheel mouse released: ") + device.info.name);
    devices_.erase(it);
}

bool DeviceHub::tryGrab(Device& device) {
    if (device.stage != Stage::WaitingForRelease) return true;
    // Grabbing while a button is held would leave the desktop with a press
    // whose release it never sees.
    if (device.source->anyKeyDown()) return true;
    if (!device.source->grab(true)) {
        // Another program holds it exclusively; it stays theirs until it is plugged in again.
        log().error("cannot grab " + device.info.name + " (another program holds it)");
        return false;
    }
    // Whatever was queued before the grab has already reached the desktop.
    scratch_.clear();
    device.source->read(scratch_);
    device.pending.clear();
    device.stage = Stage::Forwarding;
    if (watchdog_) {
        int twin = -1;
        {
            std::lock_guard lock(device.clone->mutex);
            if (device.clone->sink) twin = device.clone->sink->fd();
        }
        watchdog_->watch(device.id, device.source->pollFd(), twin);
    }
    if (device.handedBack) log().info("wheel mouse taken over again: " + device.info.name);
    device.handedBack = false;
    return true;
}

void DeviceHub::readDevice(Device& device) {
    const DeviceId id = device.id;
    scratch_.clear();
    const auto status = device.source->read(scratch_);
    bool giveUp = false;
    if (device.stage == Stage::WaitingForRelease) {
        giveUp = !tryGrab(device);
    } else {
        for (const input_event& ev : scratch_) {
            if (ev.type == EV_SYN && ev.code == SYN_DROPPED) {
                // The kernel's buffer overran: the frame in progress is incomplete.
                if (!device.pending.empty()) {
                    std::lock_guard lock(mutex_);
                    ++stats_.framesDropped;
                }
                device.pending.clear();
                continue;
            }
            device.pending.push_back(ev);
            if (ev.type == EV_SYN && ev.code == SYN_REPORT) {
                handleFrame(device, device.pending);
                device.pending.clear();
            }
        }
    }
    if (status == InputSource::ReadStatus::Gone) {
        removeDevice(id, true);
    } else if (giveUp) {
        removeDevice(id, false);
    }
}

void DeviceHub::handleFrame(Device& device, std::vector<input_event>& frame) {
    std::array<bool, 2> hiRes{};
    for (const input_event& ev : frame) {
        if (ev.type != EV_REL) continue;
        if (ev.code == REL_WHEEL_HI_RES) hiRes[kVertical] = true;
        if (ev.code == REL_HWHEEL_HI_RES) hiRes[kHorizontal] = true;
    }
    WheelMotion motion;
    bool wheel = false;
    bool leftDown = false;
    out_.clear();
    for (const input_event& ev : frame) {
        if (ev.type == EV_SYN && ev.code == SYN_REPORT) continue;
        if (addWheelEvent(ev, motion, hiRes)) {
            wheel = true;
            continue;
        }
        if (ev.type == EV_KEY) {
            if (ev.value == 0) {
                device.keysDown.erase(ev.code);
            } else {
                device.keysDown.insert(ev.code);
                if (ev.code == BTN_LEFT && ev.value == 1) leftDown = true;
            }
        }
        out_.push_back(ev);
    }

    HubListener* listener = listener_.load();
    bool tap = false;
    const bool moves = motion.units[0] != 0 || motion.units[1] != 0;
    if (wheel) {
        if (isSubNotch(motion)) device.smoothWheel = true;
        tap = moves && !device.smoothWheel && listener && listener->wantsScroll();
        // Passed on in the clone's own form, high-resolution units always
        // with the legacy notch: libinput treats a wheel that advertises
        // high-resolution codes but sends only notches as broken and then
        // counts every later high-resolution unit twice.
        if (!tap) appendWheelEvents(out_, motion.units, motion.notches);
    }
    if (!out_.empty()) {
        appendSyn(out_);
        std::lock_guard lock(device.clone->mutex);
        device.clone->write(out_);
        if (wheel && !tap) device.clone->encoder.noteEmitted(motion.units, monotonicSeconds());
    }
    {
        std::lock_guard lock(mutex_);
        ++stats_.framesForwarded;
        if (wheel) ++(tap ? stats_.scrollsTapped : stats_.scrollsPassed);
    }
    if (tap) listener->scrollWheel(device.id, makeScrollEvent(motion, Point{}));
    if (leftDown && listener) {
        listener->leftMouseDown(device.id, std::make_shared<FieldTableEvent>(EventType::LeftMouseDown));
    }
}

std::shared_ptr<DeviceHub::Clone> DeviceHub::cloneOf(DeviceId id) const {
    std::lock_guard lock(mutex_);
    auto it = clones_.find(id);
    return it == clones_.end() ? nullptr : it->second;
}

namespace {
// GLIDEMARK_TRACE_POSTS=1 logs every frame the engine posts, exactly, so what
// reached a twin can be checked against it (the tests on the real kernel do).
bool tracePosts() {
    static const bool on = [] {
        const char* value = std::getenv("GLIDEMARK_TRACE_POSTS");
        return value && std::strcmp(value, "1") == 0;
    }();
    return on;
}
}  // namespace

bool DeviceHub::post(DeviceId device, double pointsV, double pointsH) {
    if (tracePosts()) {
        char line[96];
        std::snprintf(line, sizeof line, "posted %u %.17g %.17g", device, pointsV, pointsH);
        log().log(LogLevel::Debug, line);
    }
    auto clone = cloneOf(device);
    if (!clone) return false;
    std::lock_guard lock(clone->mutex);
    if (!clone->sink) return false;
    const auto frame = clone->encoder.encodePoints(pointsV, pointsH, monotonicSeconds());
    if (frame.empty()) return true;
    clone->posted.clear();
    appendWheelEvents(clone->posted, frame.units, frame.notches);
    appendSyn(clone->posted);
    return clone->write(clone->posted);
}

bool DeviceHub::emitNotches(DeviceId device, std::array<int, 2> notches) {
    auto clone = cloneOf(device);
    if (!clone) return false;
    const std::array<int, 2> units{notches[0] * kUnitsPerNotch, notches[1] * kUnitsPerNotch};
    std::lock_guard lock(clone->mutex);
    if (!clone->sink) return false;
    if (units[0] == 0 && units[1] == 0) return true;
    std::vector<input_event> events;
    appendWheelEvents(events, units, notches);
    appendSyn(events);
    clone->encoder.noteEmitted(units, monotonicSeconds());
    return clone->write(events);
}

std::vector<DeviceId> DeviceHub::devices() const {
    std::lock_guard lock(mutex_);
    std::vector<DeviceId> out;
    for (auto& [id, c] : clones_) out.push_back(id);
    return out;
}

std::vector<std::string> DeviceHub::deviceIds() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (auto& [id, name] : names_) out.push_back(name);
    return out;
}

HubStats DeviceHub::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

std::optional<std::array<std::int64_t, 2>> DeviceHub::emittedUnits(DeviceId device) const {
    auto clone = cloneOf(device);
    if (!clone) return std::nullopt;
    std::lock_guard lock(clone->mutex);
    return clone->encoder.emittedUnits();
}

}  // namespace gm::platform::linux_input
