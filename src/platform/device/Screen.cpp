#include "platform/device/Screen.h"

#include <cmath>

namespace platform {

Screen& Screen::main()
{
    static Screen screen;
    return screen;
}

void Screen::setScale(qreal scale)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (std::isfinite(scale) && scale > 0)
        m_scale = scale;
}

} // namespace platform
