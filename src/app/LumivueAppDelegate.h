#pragma once

// The application delegate: the launch sequence and the (empty) lifecycle callbacks.
//
// didFinishLaunching, in order: install the uncaught-exception handler; start the analytics
// session with the key of the device class (tablet key only when the device answers the idiom
// query and says tablet, the phone key otherwise); log "LUMIVUE_IPHONE" (on both classes); put
// the camera screen on the window and make it key and visible, which loads the screen and starts
// the camera; hide the status bar (a desktop has none, so there is nothing to do there).
//
// The window and the screen controller are owned by the window host; the delegate refers to
// them for the life of the process.
//
// Threads: GUI thread only.

#include <QString>

#include "platform/core/ThreadChecker.h"

namespace platform {
class Device;
class ViewController;
class Window;
} // namespace platform

class LumivueAppDelegate {
public:
    static inline const QString tabletApplicationKey = QStringLiteral("JWT5RPX3MKB8ZQ2VLD7N");
    static inline const QString phoneApplicationKey = QStringLiteral("QDR7TKW2PMZ9XN4BCV6H");

    LumivueAppDelegate(platform::Window& window, platform::ViewController& viewController);

    static QString applicationKey(const platform::Device& device);

    bool didFinishLaunching();
    void applicationWillResignActive() { }
    void applicationDidEnterBackground() { }
    void applicationWillEnterForeground() { }
    void applicationDidBecomeActive() { }
    void applicationWillTerminate() { }

    platform::Window& window() const { return m_window; }
    platform::ViewController& viewController() const { return m_viewController; }
    bool isStatusBarHidden() const { return m_statusBarHidden; }

private:
    platform::Window& m_window;
    platform::ViewController& m_viewController;
    bool m_statusBarHidden { false };
    [[no_unique_address]] platform::ThreadChecker m_guiThread;
};
