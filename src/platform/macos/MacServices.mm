#include "platform/macos/MacServices.h"

#import <AppKit/AppKit.h>
#include <ApplicationServices/ApplicationServices.h>
#include <QuartzCore/QuartzCore.h>
#include <dispatch/dispatch.h>
#include <os/log.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/macos/MacValues.h"

namespace gm::platform::macos {

static_assert(osLogType(LogLevel::Debug) == OS_LOG_TYPE_DEBUG);
static_assert(osLogType(LogLevel::Info) == OS_LOG_TYPE_INFO);
static_assert(osLogType(LogLevel::Default) == OS_LOG_TYPE_DEFAULT);
static_assert(osLogType(LogLevel::Error) == OS_LOG_TYPE_ERROR);
static_assert(osLogType(LogLevel::Fault) == OS_LOG_TYPE_FAULT);

namespace {

NSString* toNSString(std::string_view text) {
    return [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
}

NSUserDefaults* defaultsFor(const std::optional<std::string>& domain) {
    if (!domain) return [NSUserDefaults standardUserDefaults];
    return [[NSUserDefaults alloc] initWithSuiteName:toNSString(*domain)];
}

// Tried in order until one opens: the Accessibility list under Privacy &
// Security, the Accessibility pane, and the pane's file on older systems.
constexpr const char* kAccessibilitySettings[] = {
    "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility",
    "x-apple.systempreferences:com.apple.preference.universalaccess",
};
constexpr const char* kAccessibilityPane = "/System/Library/PreferencePanes/UniversalAccessPref.prefPane";

dispatch_time_t after(double seconds) {
    const double nanoseconds = std::isfinite(seconds) ? std::clamp(seconds, 0.0, 1.0e9) * 1.0e9 : 0.0;
    return dispatch_time(DISPATCH_TIME_NOW, saturatingToInt64(nanoseconds));
}

class LibdispatchQueue final : public DispatchQueue {
public:
    explicit LibdispatchQueue(dispatch_queue_t queue) : queue_(queue) {}
    void async(std::function<void()> block) override {
        dispatch_async(queue_, ^{
          @autoreleasepool {
              block();
          }
        });
    }
    void asyncAfter(double seconds, std::function<void()> block) override {
        dispatch_after(after(seconds), queue_, ^{
          @autoreleasepool {
              block();
          }
        });
    }

private:
    dispatch_queue_t queue_;
};

}  // namespace

double MacClock::mediaTime() const { return CACurrentMediaTime(); }

double MacClock::wallTime() const { return CFAbsoluteTimeGetCurrent() + kCFAbsoluteTimeIntervalSince1970; }

bool MacInputAccess::isTrusted() const { return AXIsProcessTrusted(); }

void MacInputAccess::requestAccess() {
    @autoreleasepool {
        NSDictionary* options = @{(__bridge NSString*)kAXTrustedCheckOptionPrompt : @YES};
        AXIsProcessTrustedWithOptions((__bridge CFDictionaryRef)options);
    }
}

void MacInputAccess::openSettings() {
    @autoreleasepool {
        NSWorkspace* workspace = [NSWorkspace sharedWorkspace];
        bool opened = false;
        for (const char* address : kAccessibilitySettings) {
            NSURL* url = [NSURL URLWithString:@(address)];
            if (url && [workspace openURL:url]) {
                opened = true;
                break;
            }
        }
        if (!opened) [workspace openURL:[NSURL fileURLWithPath:@(kAccessibilityPane)]];
    }
    requestAccess();
}

std::optional<std::string> MacUserDefaults::data(const std::string& key) const {
    @autoreleasepool {
        NSData* value = [defaultsFor(domain_) dataForKey:toNSString(key)];
        if (!value) return std::nullopt;
        return std::string(static_cast<const char*>(value.bytes), value.length);
    }
}

bool MacUserDefaults::setData(const std::string& key, const std::string& bytes) {
    @autoreleasepool {
        NSString* name = toNSString(key);
        if (!name) return false;
        [defaultsFor(domain_) setObject:[NSData dataWithBytes:bytes.data() length:bytes.size()] forKey:name];
        return true;
    }
}

std::string MacUserDefaults::locationOf(const std::string&) const {
    @autoreleasepool {
        NSString* identifier = [NSBundle mainBundle].bundleIdentifier;
        const char* home = NSHomeDirectory().fileSystemRepresentation;
        std::optional<std::string> domain = domain_;
        if (!domain && identifier.UTF8String) domain = identifier.UTF8String;
        return userDefaultsLocation(home ? home : "~", domain);
    }
}

struct OsLogSink::Logs {
    std::map<std::pair<std::string, std::string>, os_log_t> byName;
};

OsLogSink::OsLogSink() : logs_(std::make_unique<Logs>()) {}
OsLogSink::~OsLogSink() = default;

void OsLogSink::write(LogLevel level, std::string_view subsystem, std::string_view category,
                      std::string_view message) {
    os_log_t log = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto& slot = logs_->byName[{std::string(subsystem), std::string(category)}];
        if (!slot) slot = os_log_create(std::string(subsystem).c_str(), std::string(category).c_str());
        log = slot;
    }
    const std::string text(message);
    os_log_with_type(log, static_cast<os_log_type_t>(osLogType(level)), "%{public}s", text.c_str());
}

void StdoutConsole::print(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::unique_ptr<DispatchQueue> makeSerialQueue(const std::string& label) {
    return std::make_unique<LibdispatchQueue>(dispatch_queue_create(label.c_str(), DISPATCH_QUEUE_SERIAL));
}

DispatchQueue& mainThreadQueue() {
    static LibdispatchQueue queue(dispatch_get_main_queue());
    return queue;
}

}  // namespace gm::platform::macos
