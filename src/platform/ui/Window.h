#pragma once

// The root of the view tree on the screen. It shows its root view controller's view, views of
// controllers presented modally over it, and alerts on top of everything.
//
// Threads: GUI thread only.

#include "platform/ui/View.h"

namespace platform {

class ViewController;

class Window : public View {
public:
    explicit Window(const QRectF& frame);
    ~Window() override;

    // The controller is not owned; its view is loaded and shown filling the window.
    void setRootViewController(ViewController* controller);
    ViewController* rootViewController() const { return m_rootViewController; }
    void makeKeyAndVisible();
    // The window made key last (null when it is gone).
    static Window* keyWindow();

private:
    ViewController* m_rootViewController { nullptr };
};

} // namespace platform
