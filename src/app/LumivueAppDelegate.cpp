#include "LumivueAppDelegate.h"

#include "UncaughtExceptionHandler.h"
#include "analytics/TallyAPI.h"
#include "platform/core/Log.h"
#include "platform/device/Device.h"

LumivueAppDelegate::LumivueAppDelegate(std::function<void()> showScreen)
    : m_showScreen(std::move(showScreen))
{
}

QString LumivueAppDelegate::applicationKey(const platform::Device& device)
{
    return device.isTablet() ? tabletApplicationKey : phoneApplicationKey;
}

bool LumivueAppDelegate::didFinishLaunching()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    installUncaughtExceptionHandler();
    analytics::TallyAPI::startSession(applicationKey(platform::Device::current()));
    platform::logLine(platform::lcApp(), QStringLiteral("LUMIVUE_IPHONE"));
    if (m_showScreen)
        m_showScreen();
    // The whole app runs full screen; the window host shows no status bar of its own.
    m_statusBarHidden = true;
    return true;
}
