#include "platform/ui/Application.h"

#include <QGuiApplication>

#include "platform/core/ThreadChecker.h"

namespace platform {

namespace {

Qt::ApplicationState g_state = Qt::ApplicationActive; // guarded by being on the main thread
// Bound while the program starts, so on the main thread.
[[maybe_unused]] ThreadChecker g_mainThread;

void setState(Qt::ApplicationState state)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    if (state == g_state)
        return;
    g_state = state;
    // Qt only changes its own state from the platform plugin; emitting the public signal lets
    // everything that listens for lifecycle changes hear the simulated ones too.
    if (auto* app = qGuiApp)
        emit app->applicationStateChanged(state);
}

} // namespace

void Application::enterBackground()
{
    if (g_state == Qt::ApplicationSuspended)
        return;
    setState(Qt::ApplicationInactive);
    setState(Qt::ApplicationSuspended);
}

void Application::enterForeground()
{
    if (g_state == Qt::ApplicationActive)
        return;
    setState(Qt::ApplicationInactive);
    setState(Qt::ApplicationActive);
}

Qt::ApplicationState Application::state()
{
    return g_state;
}

} // namespace platform
