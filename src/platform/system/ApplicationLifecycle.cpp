#include "platform/system/ApplicationLifecycle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

namespace platform {

namespace {

// The windows a user thinks of as the app: not tool tips, pop-up menus or splash screens.
bool isAppWindow(const QWindow* window)
{
    const Qt::WindowType type = window->type();
    return type == Qt::Window || type == Qt::Dialog;
}

bool isOnScreen(const QWindow* window)
{
    return window->isVisible() && !(window->windowStates() & Qt::WindowMinimized);
}

} // namespace

ApplicationLifecycle& ApplicationLifecycle::instance()
{
    static ApplicationLifecycle lifecycle;
    return lifecycle;
}

bool ApplicationLifecycle::isVisibleToUser(
    Qt::ApplicationState state, bool anyWindowShown, bool anyWindowOnScreen)
{
    if (state == Qt::ApplicationHidden || state == Qt::ApplicationSuspended)
        return false;
    return !anyWindowShown || anyWindowOnScreen;
}

void ApplicationLifecycle::attach()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (m_attached || !app)
        return;
    m_attached = true;
    if (auto* guiApp = qobject_cast<QGuiApplication*>(app)) {
        // The state comes from the signal, not from QGuiApplication::applicationState(): the
        // window host's background/foreground (script, B/F keys) emits this signal without
        // changing Qt's own state, and must take the same path as the platform's transitions.
        m_applicationState = QGuiApplication::applicationState();
        connect(guiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            m_applicationState = state;
            updateFromPlatform();
        });
        // Windows report being shown, hidden and minimised through events on themselves.
        guiApp->installEventFilter(this);
    }
    connect(app, &QCoreApplication::aboutToQuit, this, [this] { post(Notification::WillTerminate); });
    connect(app, &QObject::destroyed, this, [this] { m_attached = false; });
}

bool ApplicationLifecycle::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Expose:
    case QEvent::WindowStateChange:
        // The window's own state is updated after its event is delivered: look once it has settled.
        if ((watched->isWindowType() || watched->isWidgetType()) && !m_updateQueued) {
            m_updateQueued = true;
            QTimer::singleShot(0, this, [this] {
                m_updateQueued = false;
                updateFromPlatform();
            });
        }
        break;
    default:
        break;
    }
    return false;
}

void ApplicationLifecycle::updateFromPlatform()
{
    bool onScreen = false;
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        if (isAppWindow(window) && isOnScreen(window))
            onScreen = true;
    }
    m_windowShown = m_windowShown || onScreen;
    const bool visible = isVisibleToUser(m_applicationState, m_windowShown, onScreen);
    if (visible == m_platformVisible)
        return;
    m_platformVisible = visible;
    post(visible ? Notification::DidBecomeActive : Notification::WillResignActive);
}

void ApplicationLifecycle::reset()
{
    m_active = true;
    m_terminated = false;
    m_windowShown = false;
    m_platformVisible = true;
    m_applicationState = Qt::ApplicationActive;
}

void ApplicationLifecycle::post(Notification notification)
{
    switch (notification) {
    case Notification::WillResignActive:
        if (!m_active)
            return;
        m_active = false;
        emit willResignActive();
        return;
    case Notification::DidBecomeActive:
        if (m_active)
            return;
        m_active = true;
        emit didBecomeActive();
        return;
    case Notification::WillTerminate:
        // Quitting from the background still ends the session exactly once.
        if (m_terminated)
            return;
        m_terminated = true;
        emit willTerminate();
        return;
    }
}

} // namespace platform
