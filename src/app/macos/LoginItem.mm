#include "app/macos/LoginItem.h"

#import <Foundation/Foundation.h>
#include <objc/message.h>
#include <objc/runtime.h>

#include "platform/Log.h"

namespace gm::app::macos {

namespace {

// ServiceManagement is loaded when first needed; its class is reached by
// name, so the program also starts on systems that lack the class.
Class serviceClass() {
    static Class service = [] {
        [[NSBundle bundleWithPath:@"/System/Library/Frameworks/ServiceManagement.framework"] load];
        return NSClassFromString(@"SMAppService");
    }();
    return service;
}

id mainAppService() {
    Class service = serviceClass();
    if (!service) return nil;
    return reinterpret_cast<id (*)(Class, SEL)>(objc_msgSend)(service, sel_registerName("mainAppService"));
}

std::optional<std::string> call(const char* selector) {
    @autoreleasepool {
        id service = mainAppService();
        if (!service) return std::string("the login-item service is not available");
        NSError* error = nil;
        const BOOL done = reinterpret_cast<BOOL (*)(id, SEL, NSError* __autoreleasing*)>(objc_msgSend)(
            service, sel_registerName(selector), &error);
        if (done) return std::nullopt;
        NSString* text = error.localizedDescription;
        return std::string(text.UTF8String ? text.UTF8String : "unknown error");
    }
}

std::string toString(NSString* text, const char* fallback) {
    const char* utf8 = text.UTF8String;
    return utf8 ? std::string(utf8) : std::string(fallback);
}

}  // namespace

bool loginItemServiceAvailable() {
    if (@available(macOS 13.0, *)) return serviceClass() != nil;
    return false;
}

int loginItemStatus() {
    @autoreleasepool {
        id service = mainAppService();
        if (!service) return 3;
        const NSInteger status =
            reinterpret_cast<NSInteger (*)(id, SEL)>(objc_msgSend)(service, sel_registerName("status"));
        return static_cast<int>(status);
    }
}

std::optional<std::string> registerLoginItem() { return call("registerAndReturnError:"); }

std::optional<std::string> unregisterLoginItem() { return call("unregisterAndReturnError:"); }

bool launchAgentEnabled(const std::string& path, const std::string& label) {
    @autoreleasepool {
        NSString* file = [[NSFileManager defaultManager] stringWithFileSystemRepresentation:path.c_str()
                                                                                      length:path.size()];
        NSDictionary* agent = file ? [NSDictionary dictionaryWithContentsOfFile:file] : nil;
        if (![agent isKindOfClass:[NSDictionary class]]) return false;
        id name = agent[@"Label"];
        id arguments = agent[@"ProgramArguments"];
        id disabled = agent[@"Disabled"];
        if (![name isKindOfClass:[NSString class]] || ![name isEqualToString:@(label.c_str())]) return false;
        if (![arguments isKindOfClass:[NSArray class]] || [arguments count] == 0) return false;
        return !([disabled isKindOfClass:[NSNumber class]] && [disabled boolValue]);
    }
}

std::string homeFolder() {
    @autoreleasepool {
        const char* home = NSHomeDirectory().fileSystemRepresentation;
        return home ? std::string(home) : std::string();
    }
}

std::string bundleIdentifier() {
    @autoreleasepool {
        return toString([NSBundle mainBundle].bundleIdentifier, std::string(platform::kDefaultSubsystem).c_str());
    }
}

std::string executablePath() {
    @autoreleasepool {
        const char* path = [NSBundle mainBundle].executablePath.fileSystemRepresentation;
        return path ? std::string(path) : std::string();
    }
}

}  // namespace gm::app::macos
