#include "platform/ui/Window.h"

#include "platform/ui/ViewController.h"

namespace platform {

namespace {

View::Weak g_keyWindow;

} // namespace

Window::Window(const QRectF& frame)
    : View(frame)
{
    setBackgroundColor(Qt::black);
}

Window::~Window() = default;

void Window::setRootViewController(ViewController* controller)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (controller == m_rootViewController)
        return;
    if (m_rootViewController && m_rootViewController->isViewLoaded()
        && m_rootViewController->view().superview() == this)
        (void)m_rootViewController->view().removeFromSuperview();
    m_rootViewController = controller;
    if (!controller)
        return;
    View& view = controller->view();
    view.setFrame(bounds());
    controller->viewWillAppear(false);
    addSubview(view);
    controller->viewDidAppear(false);
}

void Window::makeKeyAndVisible()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    g_keyWindow = View::Weak(this);
    setHidden(false);
}

Window* Window::keyWindow()
{
    return static_cast<Window*>(g_keyWindow.get());
}

} // namespace platform
