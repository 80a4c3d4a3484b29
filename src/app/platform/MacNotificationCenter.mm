#include "app/platform/MacNotificationCenter.h"

#import <Foundation/Foundation.h>
#import <UserNotifications/UserNotifications.h>

namespace kestrin {

bool MacNotificationCenter::isAvailable() const {
    NSString* extension = NSBundle.mainBundle.bundleURL.pathExtension;
    return extension != nil && [extension caseInsensitiveCompare:@"app"] == NSOrderedSame;
}

void MacNotificationCenter::requestAuthorization() {
    UNAuthorizationOptions options = UNAuthorizationOptionAlert | UNAuthorizationOptionSound;
    [UNUserNotificationCenter.currentNotificationCenter
        requestAuthorizationWithOptions:options
                      completionHandler:^(BOOL, NSError*) {
                      }];
}

void MacNotificationCenter::post(const DesktopNotification& notification) {
    UNMutableNotificationContent* content = [[UNMutableNotificationContent alloc] init];
    content.title = notification.title.toNSString();
    content.body = notification.body.toNSString();
    content.sound = UNNotificationSound.defaultSound;
    UNNotificationRequest* request =
        [UNNotificationRequest requestWithIdentifier:notification.identifier.toNSString()
                                             content:content
                                             trigger:nil];
    [UNUserNotificationCenter.currentNotificationCenter addNotificationRequest:request
                                                         withCompletionHandler:nil];
}

}  // namespace kestrin
