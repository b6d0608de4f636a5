#pragma once

// The application's lifecycle notifications: will-resign-active, did-become-active and
// will-terminate, once attach() has run.
//
// "Active" means the user can see the app, not that its window has the keyboard focus: on a
// desktop every alt-tab makes Qt report the application inactive, and treating that as going to
// the background would send a pause upload each time and start a new session after 10 s of
// working in another window. So the app resigns active when
//   - Qt reports the application hidden or suspended (phone shells, and desktops that report it),
//   - or every top-level window it has shown is hidden or minimised;
// and becomes active again when neither holds. Focus alone (Qt::ApplicationInactive) changes
// nothing. will-terminate comes from aboutToQuit. The application state is the one the last
// applicationStateChanged signal carried, so the window host's scripted "background"/"foreground"
// (which emit that signal, see platform::Application) take the same path as the platform's own
// transitions. Tests may also post notifications directly.
//
// Main thread only: signals are emitted on the thread that calls attach() or post().

#include <QObject>

namespace platform {

class ApplicationLifecycle : public QObject {
    Q_OBJECT

public:
    enum class Notification { WillResignActive, DidBecomeActive, WillTerminate };

    static ApplicationLifecycle& instance();

    // Connects to the running QGuiApplication (state and window changes) or QCoreApplication
    // (quit only). Safe to call more than once; does nothing before the application object exists.
    void attach();

    // Delivers a notification as if the platform had sent it. A resign while already inactive
    // or a become-active while already active is ignored, so handlers always see them paired.
    void post(Notification notification);

    // Whether the platform shows the app, from the application state Qt reports and whether any
    // top-level window is on screen (shown and not minimised). Before any window was shown the
    // windows do not count: a launching app is not in the background.
    static bool isVisibleToUser(Qt::ApplicationState state, bool anyWindowShown, bool anyWindowOnScreen);

    bool isActive() const { return m_active; }

    // Back to "active, not terminated" (tests run many application lives in one process).
    void reset();

signals:
    void willResignActive();
    void didBecomeActive();
    void willTerminate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ApplicationLifecycle() = default;
    // Reads the platform's state and posts a notification when it has changed since the last look.
    void updateFromPlatform();

    bool m_attached { false };
    bool m_active { true };
    bool m_terminated { false };
    bool m_updateQueued { false };
    bool m_windowShown { false }; // some top-level window has been on screen
    bool m_platformVisible { true }; // what updateFromPlatform() saw last
    Qt::ApplicationState m_applicationState { Qt::ApplicationActive }; // as last signalled
};

} // namespace platform
