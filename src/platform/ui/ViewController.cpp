#include "platform/ui/ViewController.h"

#include <QCoreApplication>
#include <QTimer>

#include "platform/device/Screen.h"

namespace platform {

namespace {

constexpr double kModalSeconds = 0.3;

// The view a modal view is shown in: the top of the presenter's tree.
View& hostOf(View& view)
{
    View* v = &view;
    while (v->superview())
        v = v->superview();
    return *v;
}

} // namespace

ViewController::ViewController() = default;

ViewController::~ViewController()
{
    if (m_modal && m_modal->isViewLoaded())
        (void)m_modal->view().removeFromSuperview();
}

View& ViewController::view()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_view) {
        loadView();
        if (!m_view)
            setView(std::make_unique<View>(Screen::main().bounds()));
        viewDidLoad();
    }
    return *m_view;
}

void ViewController::setView(std::unique_ptr<View> view)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_view = std::move(view);
}

void ViewController::loadView()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    auto view = std::make_unique<View>(Screen::main().bounds());
    view->setBackgroundColor(Qt::white);
    setView(std::move(view));
}

bool ViewController::unloadView()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_view || m_view->superview())
        return false;
    m_view.reset();
    viewDidUnload();
    return true;
}

void ViewController::presentModalViewController(std::unique_ptr<ViewController> controller, bool animated)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!controller || m_modal || m_transitioning)
        return; // one modal at a time, as the toolkit has it
    ViewController& modal = *controller;
    m_modal = std::move(controller);
    modal.m_presenter = this;
    View& host = hostOf(view());
    View& modalView = modal.view();
    const QRectF target = host.bounds();

    viewWillDisappear(animated);
    modal.viewWillAppear(animated);
    modalView.setFrame(target);
    host.addSubview(modalView);
    auto finish = [this, alive = std::weak_ptr<int>(m_alive), animated](bool) {
        if (alive.expired() || !m_modal)
            return;
        m_transitioning = false;
        viewDidDisappear(animated);
        m_modal->viewDidAppear(animated);
    };
    if (!animated) {
        finish(true);
        return;
    }
    m_transitioning = true;
    modalView.setFrame(target.translated(0, target.height()));
    View::beginAnimations(QStringLiteral("presentModalViewController"));
    View::setAnimationDuration(kModalSeconds);
    View::setAnimationCompletion(finish);
    modalView.setFrame(target);
    View::commitAnimations();
}

void ViewController::dismissModalViewController(bool animated)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_modal) {
        if (m_presenter)
            m_presenter->dismissModalViewController(animated);
        return;
    }
    if (m_transitioning)
        return;
    ViewController& modal = *m_modal;
    modal.viewWillDisappear(animated);
    viewWillAppear(animated);
    auto finish = [this, alive = std::weak_ptr<int>(m_alive), animated](bool) {
        if (alive.expired() || !m_modal)
            return;
        m_transitioning = false;
        std::shared_ptr<ViewController> gone(std::move(m_modal));
        if (gone->isViewLoaded())
            (void)gone->view().removeFromSuperview();
        gone->viewDidDisappear(animated);
        gone->m_presenter = nullptr;
        viewDidAppear(animated);
        // The dismissed controller may be running one of its own actions right now.
        QTimer::singleShot(0, QCoreApplication::instance(), [gone] {});
    };
    if (!animated || !modal.isViewLoaded()) {
        finish(true);
        return;
    }
    m_transitioning = true;
    View& modalView = modal.view();
    View::beginAnimations(QStringLiteral("dismissModalViewController"));
    View::setAnimationDuration(kModalSeconds);
    View::setAnimationCompletion(finish);
    modalView.setFrame(modalView.frame().translated(0, modalView.bounds().height()));
    View::commitAnimations();
}

} // namespace platform
