#include "app/update/macos/UserNotifications.h"

#import <Foundation/Foundation.h>
#include <objc/message.h>
#include <objc/runtime.h>

namespace gm::update::macos {

namespace {

// UserNotifications is loaded when first needed and reached by class name;
// without it (or outside a bundle, where the centre refuses to exist) every
// call does nothing.
Class classNamed(NSString* name) {
    static const bool loaded = [] {
        return [[NSBundle bundleWithPath:@"/System/Library/Frameworks/UserNotifications.framework"] load];
    }();
    return loaded ? NSClassFromString(name) : nil;
}

id center() {
    if (![NSBundle mainBundle].bundleIdentifier) return nil;
    Class centerClass = classNamed(@"UNUserNotificationCenter");
    if (!centerClass) return nil;
    return reinterpret_cast<id (*)(Class, SEL)>(objc_msgSend)(centerClass,
                                                               sel_registerName("currentNotificationCenter"));
}

NSString* toNSString(const std::string& text) {
    return [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
}

}  // namespace

void requestNotificationAuthorization() {
    @autoreleasepool {
        id notifications = center();
        if (!notifications) return;
        void (^ignore)(BOOL, NSError*) = ^(BOOL, NSError*) {
        };
        reinterpret_cast<void (*)(id, SEL, NSUInteger, id)>(objc_msgSend)(
            notifications, sel_registerName("requestAuthorizationWithOptions:completionHandler:"), 7, ignore);
    }
}

void postNotification(const std::string& identifier, const std::string& title, const std::string& body) {
    @autoreleasepool {
        id notifications = center();
        Class contentClass = classNamed(@"UNMutableNotificationContent");
        Class requestClass = classNamed(@"UNNotificationRequest");
        if (!notifications || !contentClass || !requestClass) return;
        id content = [[contentClass alloc] init];
        [content setValue:toNSString(title) forKey:@"title"];
        [content setValue:toNSString(body) forKey:@"body"];
        // No trigger: delivered at once; the same identifier replaces the earlier one.
        id request = reinterpret_cast<id (*)(Class, SEL, NSString*, id, id)>(objc_msgSend)(
            requestClass, sel_registerName("requestWithIdentifier:content:trigger:"), toNSString(identifier), content,
            nil);
        reinterpret_cast<void (*)(id, SEL, id, id)>(objc_msgSend)(
            notifications, sel_registerName("addNotificationRequest:withCompletionHandler:"), request, nil);
    }
}

void removeDeliveredNotifications(const std::string& identifier) {
    @autoreleasepool {
        id notifications = center();
        if (!notifications) return;
        reinterpret_cast<void (*)(id, SEL, NSArray*)>(objc_msgSend)(
            notifications, sel_registerName("removeDeliveredNotificationsWithIdentifiers:"), @[ toNSString(identifier) ]);
    }
}

}  // namespace gm::update::macos
