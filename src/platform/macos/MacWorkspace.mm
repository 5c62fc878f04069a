#include "platform/macos/MacWorkspace.h"

#import <AppKit/AppKit.h>
#include <CoreGraphics/CoreGraphics.h>

namespace gm::platform::macos {

namespace {

std::optional<std::string> toString(NSString* string) {
    if (!string) return std::nullopt;
    const char* utf8 = string.UTF8String;
    if (!utf8) return std::nullopt;
    return std::string(utf8);
}

std::optional<std::string> toString(CFStringRef string) { return toString((__bridge NSString*)string); }

ActivationPolicy policyOf(NSApplicationActivationPolicy policy) {
    switch (policy) {
    case NSApplicationActivationPolicyRegular: return ActivationPolicy::Regular;
    case NSApplicationActivationPolicyAccessory: return ActivationPolicy::Accessory;
    case NSApplicationActivationPolicyProhibited: return ActivationPolicy::Prohibited;
    }
    return ActivationPolicy::Prohibited;
}

AppRef describe(NSRunningApplication* app) {
    if (!app) return nullptr;
    auto described = std::make_shared<RunningApplication>();
    described->processIdentifier = app.processIdentifier;
    described->bundleIdentifier = toString(app.bundleIdentifier);
    described->localizedName = toString(app.localizedName).value_or(std::string());
    if (NSURL* executable = app.executableURL) described->executablePath = toString(executable.path);
    described->activationPolicy = policyOf(app.activationPolicy);
    return described;
}

class NotificationSubscription final : public Subscription {
public:
    explicit NotificationSubscription(id token) : token_(token) {}
    ~NotificationSubscription() override { [[[NSWorkspace sharedWorkspace] notificationCenter] removeObserver:token_]; }

private:
    id token_;
};

id observe(NSNotificationName name, std::function<void()> block) {
    return [[[NSWorkspace sharedWorkspace] notificationCenter] addObserverForName:name
                                                                           object:nil
                                                                            queue:[NSOperationQueue mainQueue]
                                                                       usingBlock:^(NSNotification*) {
                                                                         block();
                                                                       }];
}

}  // namespace

AppRef MacWorkspace::applicationWithProcessIdentifier(ProcessID pid) const {
    @autoreleasepool {
        return describe([NSRunningApplication runningApplicationWithProcessIdentifier:pid]);
    }
}

AppRef MacWorkspace::applicationWithBundleIdentifier(std::string_view bundleIdentifier) const {
    @autoreleasepool {
        NSString* identifier = [[NSString alloc] initWithBytes:bundleIdentifier.data()
                                                        length:bundleIdentifier.size()
                                                      encoding:NSUTF8StringEncoding];
        if (!identifier) return nullptr;
        return describe([NSRunningApplication runningApplicationsWithBundleIdentifier:identifier].firstObject);
    }
}

std::vector<AppRef> MacWorkspace::runningApplications() const {
    @autoreleasepool {
        std::vector<AppRef> apps;
        for (NSRunningApplication* app in [NSWorkspace sharedWorkspace].runningApplications)
            apps.push_back(describe(app));
        return apps;
    }
}

AppRef MacWorkspace::frontmostApplication() const {
    @autoreleasepool {
        return describe([NSWorkspace sharedWorkspace].frontmostApplication);
    }
}

std::unique_ptr<Subscription> MacWorkspace::observeActivations(std::function<void()> block) {
    @autoreleasepool {
        return std::make_unique<NotificationSubscription>(
            observe(NSWorkspaceDidActivateApplicationNotification, std::move(block)));
    }
}

bool MacWorkspace::onScreenWindows(std::vector<WindowInfo>& out) const {
    out.clear();
    CFArrayRef windows = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID);
    if (!windows) return false;
    const CFIndex count = CFArrayGetCount(windows);
    for (CFIndex i = 0; i < count; ++i) {
        const CFTypeRef entry = CFArrayGetValueAtIndex(windows, i);
        WindowInfo info;
        if (!entry || CFGetTypeID(entry) != CFDictionaryGetTypeID()) {
            info.isDictionary = false;
        } else {
            const CFTypeRef name = CFDictionaryGetValue(static_cast<CFDictionaryRef>(entry), kCGWindowName);
            if (name && CFGetTypeID(name) == CFStringGetTypeID()) info.name = toString(static_cast<CFStringRef>(name));
        }
        out.push_back(std::move(info));
    }
    CFRelease(windows);
    return true;
}

std::optional<std::string> MacWorkspace::mainBundleIdentifier() const {
    @autoreleasepool {
        return toString([NSBundle mainBundle].bundleIdentifier);
    }
}

struct SessionObserver::Tokens {
    id becameActive;
    id resignedActive;
};

SessionObserver::SessionObserver(std::function<void()> becameActive, std::function<void()> resignedActive)
    : tokens_(std::make_unique<Tokens>()) {
    @autoreleasepool {
        tokens_->becameActive = observe(NSWorkspaceSessionDidBecomeActiveNotification, std::move(becameActive));
        tokens_->resignedActive = observe(NSWorkspaceSessionDidResignActiveNotification, std::move(resignedActive));
    }
}

SessionObserver::~SessionObserver() {
    NSNotificationCenter* center = [[NSWorkspace sharedWorkspace] notificationCenter];
    [center removeObserver:tokens_->becameActive];
    [center removeObserver:tokens_->resignedActive];
}

}  // namespace gm::platform::macos
