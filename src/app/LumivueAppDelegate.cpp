#include "LumivueAppDelegate.h"

#include "UncaughtExceptionHandler.h"
#include "analytics/TallyAPI.h"
#include "platform/core/Log.h"
#include "platform/device/Device.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

LumivueAppDelegate::LumivueAppDelegate(platform::Window& window, platform::ViewController& viewController)
    : m_window(window)
    , m_viewController(viewController)
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
    m_window.setRootViewController(&m_viewController);
    m_window.makeKeyAndVisible();
    // The whole app runs full screen; the window host shows no status bar of its own.
    m_statusBarHidden = true;
    return true;
}
