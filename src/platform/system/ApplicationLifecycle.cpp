#include "platform/system/ApplicationLifecycle.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace platform {

ApplicationLifecycle& ApplicationLifecycle::instance()
{
    static ApplicationLifecycle lifecycle;
    return lifecycle;
}

void ApplicationLifecycle::attach()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (m_attached || !app)
        return;
    m_attached = true;
    if (auto* guiApp = qobject_cast<QGuiApplication*>(app)) {
        connect(guiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            post(state == Qt::ApplicationActive ? Notification::DidBecomeActive : Notification::WillResignActive);
        });
    }
    connect(app, &QCoreApplication::aboutToQuit, this, [this] { post(Notification::WillTerminate); });
    connect(app, &QObject::destroyed, this, [this] { m_attached = false; });
}

void ApplicationLifecycle::reset()
{
    m_active = true;
    m_terminated = false;
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
