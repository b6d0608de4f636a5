#pragma once

// The application's foreground/background state as the window host drives it. Listeners use
// Qt's own QGuiApplication::applicationStateChanged signal, which this emits: going to the
// background passes through Inactive to Suspended, coming back through Inactive to Active.
//
// Threads: GUI thread only.

#include <Qt>

namespace platform {

class Application {
public:
    static void enterBackground();
    static void enterForeground();
    // The state last set here (Active at start).
    static Qt::ApplicationState state();
};

} // namespace platform
