#pragma once

// A modal alert: a title, a message and one button, over a dimmed screen. While it is shown it
// takes every touch; its button dismisses it. Accessibility names: "alert" for the alert and
// "alertButton" for its button, so scripts can close it.
//
// Threads: GUI thread only. installAsPresenter() makes platform::presentAlert (any thread)
// show alerts in the key window, queued to the main thread.

#include <functional>

#include <QString>

#include "platform/ui/View.h"

namespace platform {

class Button;

class Alert : public View {
public:
    Alert(const QRectF& frame, const QString& title, const QString& message, const QString& buttonTitle);

    QString title() const { return m_title; }
    QString message() const { return m_message; }
    Button& button() const { return *m_button; }
    void setCompletion(std::function<void()> completion) { m_completion = std::move(completion); }

    // Shows an alert over `host`, which owns it until its button is tapped. Returns it.
    static Alert* show(View& host, const QString& title, const QString& message, const QString& buttonTitle);
    // Routes platform::presentAlert to the key window (or to the log when there is none).
    static void installAsPresenter();
    static void uninstallPresenter();

protected:
    void paintContent(QPainter& painter) const override;

private:
    QRectF boxRect() const;
    void dismiss();

    QString m_title;
    QString m_message;
    Button* m_button { nullptr }; // owned as a subview
    std::function<void()> m_completion;
};

} // namespace platform
