#pragma once

// The application's lifecycle notifications: will-resign-active, did-become-active and
// will-terminate. They come from Qt's application state (active ↔ inactive/hidden/suspended) and
// from aboutToQuit once attach() has run; the window host's scripted "background"/"foreground"
// actions and tests post them directly.
// Main thread only: signals are emitted on the thread that calls attach() or post().

#include <QObject>

namespace platform {

class ApplicationLifecycle : public QObject {
    Q_OBJECT

public:
    enum class Notification { WillResignActive, DidBecomeActive, WillTerminate };

    static ApplicationLifecycle& instance();

    // Connects to the running QGuiApplication (state changes) or QCoreApplication (quit only).
    // Safe to call more than once; does nothing before the application object exists.
    void attach();

    // Delivers a notification as if the platform had sent it. A resign while already inactive
    // or a become-active while already active is ignored, so handlers always see them paired.
    void post(Notification notification);

    bool isActive() const { return m_active; }

    // Back to "active, not terminated" (tests run many application lives in one process).
    void reset();

signals:
    void willResignActive();
    void didBecomeActive();
    void willTerminate();

private:
    ApplicationLifecycle() = default;

    bool m_attached { false };
    bool m_active { true };
    bool m_terminated { false };
};

} // namespace platform
