#pragma once

// A modal one-button alert that code below the UI layer (analytics) can raise. The UI toolkit
// installs a presenter that shows a real alert; until then the alert is written to the log.

#include <functional>

#include <QString>

namespace platform {

using AlertPresenterFunction
    = std::function<void(const QString& title, const QString& message, const QString& button)>;

void presentAlert(const QString& title, const QString& message, const QString& button);

// Returns the previous presenter; an empty function restores the log fallback.
AlertPresenterFunction setAlertPresenter(AlertPresenterFunction presenter);

} // namespace platform
