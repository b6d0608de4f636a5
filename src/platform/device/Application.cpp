#include "platform/device/Application.h"

#include <QGuiApplication>

#include "platform/core/ThreadChecker.h"

namespace platform {

namespace {

// Bound while the program starts, so on the main thread.
[[maybe_unused]] ThreadChecker g_mainThread;

void announce(Qt::ApplicationState state)
{
    LUMIVUE_CHECK_THREAD(g_mainThread);
    // Qt only changes its own state from the platform plugin; emitting the public signal lets
    // everything that listens for lifecycle changes hear the simulated ones too.
    if (auto* app = qGuiApp)
        emit app->applicationStateChanged(state);
}

} // namespace

void Application::enterBackground()
{
    announce(Qt::ApplicationInactive);
    announce(Qt::ApplicationSuspended);
}

void Application::enterForeground()
{
    announce(Qt::ApplicationInactive);
    announce(Qt::ApplicationActive);
}

} // namespace platform
