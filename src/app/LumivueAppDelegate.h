#pragma once

// The application delegate: the launch sequence and the (empty) lifecycle callbacks.
//
// didFinishLaunching, in order: install the uncaught-exception handler; start the analytics
// session with the key of the device class (tablet key only when the device answers the idiom
// query and says tablet, the phone key otherwise); log "LUMIVUE_IPHONE" (on both classes); put
// the camera screen on the window and make it key and visible, which loads the screen and starts
// the camera; hide the status bar (a desktop has none, so there is nothing to do there).
//
// Putting the screen on the window is the host's: the delegate is given it as a function.
//
// Threads: GUI thread only.

#include <functional>

#include <QString>

#include "platform/core/ThreadChecker.h"

namespace platform {
class Device;
} // namespace platform

class LumivueAppDelegate {
public:
    static inline const QString tabletApplicationKey = QStringLiteral("JWT5RPX3MKB8ZQ2VLD7N");
    static inline const QString phoneApplicationKey = QStringLiteral("QDR7TKW2PMZ9XN4BCV6H");

    // `showScreen` loads the camera screen, starts the camera and shows the window.
    explicit LumivueAppDelegate(std::function<void()> showScreen);

    static QString applicationKey(const platform::Device& device);

    bool didFinishLaunching();
    void applicationWillResignActive() { }
    void applicationDidEnterBackground() { }
    void applicationWillEnterForeground() { }
    void applicationDidBecomeActive() { }
    void applicationWillTerminate() { }

    bool isStatusBarHidden() const { return m_statusBarHidden; }

private:
    std::function<void()> m_showScreen;
    bool m_statusBarHidden { false };
    [[no_unique_address]] platform::ThreadChecker m_guiThread;
};
