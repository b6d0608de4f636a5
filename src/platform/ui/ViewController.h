#pragma once

// Manages one screen: loads its view on first use, hears when the view appears and disappears,
// and presents another controller modally over its own.
//
// Lifecycle: view() loads the view (loadView, then viewDidLoad). Being shown in a window or
// presented gives viewWillAppear / viewDidAppear; being covered or dismissed gives
// viewWillDisappear / viewDidDisappear. unloadView() drops a view that is not on screen and
// calls viewDidUnload; the next view() loads it again.
//
// Modal presentation: the presenting controller owns the presented one. The presented view
// covers the window; animated, it slides up from the bottom (and back down on dismissal) over
// 0.3 s. The dismissed controller is destroyed later from the event loop, never inside the call,
// so a controller may dismiss itself from its own button's action.
//
// Threads: GUI thread only.

#include <memory>

#include "platform/core/ThreadChecker.h"
#include "platform/ui/View.h"

namespace platform {

class ViewController {
public:
    ViewController();
    virtual ~ViewController();

    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    View& view();
    bool isViewLoaded() const { return m_view != nullptr; }
    // Replaces the view (used by loadView overrides).
    void setView(std::unique_ptr<View> view);
    // Drops the view if it is loaded and not in a window; calls viewDidUnload.
    bool unloadView();

    virtual void loadView();
    virtual void viewDidLoad() { }
    virtual void viewWillAppear(bool /*animated*/) { }
    virtual void viewDidAppear(bool /*animated*/) { }
    virtual void viewWillDisappear(bool /*animated*/) { }
    virtual void viewDidDisappear(bool /*animated*/) { }
    virtual void viewDidUnload() { }

    void presentModalViewController(std::unique_ptr<ViewController> controller, bool animated);
    // On the presenting controller, dismisses what it presented; on a presented controller,
    // asks its presenter to dismiss it.
    void dismissModalViewController(bool animated);
    ViewController* modalViewController() const { return m_modal.get(); }
    ViewController* parentViewController() const { return m_presenter; }

private:
    std::shared_ptr<int> m_alive { std::make_shared<int>(0) };
    std::unique_ptr<View> m_view;
    ViewController* m_presenter { nullptr };
    std::unique_ptr<ViewController> m_modal; // declared after m_view: destroyed first
    bool m_transitioning { false };

protected:
    // The thread the controller was made on; subclasses check their own operations against it too.
    [[no_unique_address]] ThreadChecker m_guiThread;
};

} // namespace platform
