#include "platform/ui/Device.h"

#include <gtest/gtest.h>

#include "platform/core/NotificationCenter.h"

using namespace platform;

TEST(DeviceTest, OrientationChangesAreNotifiedOnlyWhileGenerating)
{
    Device& device = Device::current();
    int notified = 0;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        Device::orientationDidChangeNotification, nullptr, [&](const Notification& n) {
            EXPECT_EQ(n.object, &device);
            ++notified;
        });
    device.setOrientation(1);
    device.setOrientation(3);
    EXPECT_EQ(notified, 0);
    device.beginGeneratingDeviceOrientationNotifications();
    device.setOrientation(4);
    device.setOrientation(4); // no change, no notification
    EXPECT_FALSE(device.setOrientation(7));
    EXPECT_EQ(device.orientation(), 4);
    device.endGeneratingDeviceOrientationNotifications();
    device.setOrientation(1);
    EXPECT_EQ(notified, 1);
    NotificationCenter::defaultCenter().removeObserver(token);
}
