#include "platform/device/Device.h"

#include "platform/core/NotificationCenter.h"

namespace platform {

Device& Device::current()
{
    static Device device;
    return device;
}

bool Device::setOrientation(int orientation)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (orientation < 0 || orientation > 6)
        return false;
    if (orientation == m_orientation)
        return true;
    m_orientation = orientation;
    if (m_generating > 0)
        NotificationCenter::defaultCenter().post(orientationDidChangeNotification, this);
    return true;
}

void Device::endGeneratingDeviceOrientationNotifications()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_generating > 0)
        --m_generating;
}

} // namespace platform
