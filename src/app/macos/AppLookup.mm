#include "app/macos/AppLookup.h"

#import <AppKit/AppKit.h>

namespace gm::app::macos {

std::optional<InstalledApplication> installedApplication(const std::string& bundleIdentifier) {
    @autoreleasepool {
        NSString* identifier = [[NSString alloc] initWithBytes:bundleIdentifier.data()
                                                        length:bundleIdentifier.size()
                                                      encoding:NSUTF8StringEncoding];
        NSURL* url = identifier ? [[NSWorkspace sharedWorkspace] URLForApplicationWithBundleIdentifier:identifier]
                                : nil;
        if (!url || !url.fileSystemRepresentation) return std::nullopt;
        NSBundle* bundle = [[NSBundle alloc] initWithURL:url];
        NSString* name = nil;
        for (NSString* key in @[ @"CFBundleDisplayName", @"CFBundleName" ]) {
            id value = [bundle objectForInfoDictionaryKey:key];
            if ([value isKindOfClass:[NSString class]]) {
                name = value;
                break;
            }
        }
        if (!name) name = url.lastPathComponent.stringByDeletingPathExtension;
        return InstalledApplication{url.fileSystemRepresentation, name.UTF8String ? name.UTF8String : bundleIdentifier};
    }
}

}  // namespace gm::app::macos
