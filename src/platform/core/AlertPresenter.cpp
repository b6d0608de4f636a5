#include "platform/core/AlertPresenter.h"

#include <mutex>

#include "platform/core/Log.h"

namespace platform {

namespace {

std::mutex g_presenterMutex; // guards g_presenter
AlertPresenterFunction g_presenter;

} // namespace

void presentAlert(const QString& title, const QString& message, const QString& button)
{
    AlertPresenterFunction presenter;
    {
        std::scoped_lock lock(g_presenterMutex);
        presenter = g_presenter;
    }
    if (presenter) {
        presenter(title, message, button);
        return;
    }
    logLine(lcUi(), QStringLiteral("Alert: %1: %2 [%3]").arg(title, message, button));
}

AlertPresenterFunction setAlertPresenter(AlertPresenterFunction presenter)
{
    std::scoped_lock lock(g_presenterMutex);
    AlertPresenterFunction previous = std::move(g_presenter);
    g_presenter = std::move(presenter);
    return previous;
}

} // namespace platform
