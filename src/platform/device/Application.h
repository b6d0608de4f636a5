#pragma once

// The application's foreground/background state as the window host drives it. Listeners use
// Qt's own QGuiApplication::applicationStateChanged signal, which this emits: going to the
// background passes through Inactive to Suspended, coming back through Inactive to Active.
// No copy of the state is kept here: the platform may change it in between, and the listeners
// (the lifecycle) already drop a repeated transition.
//
// Threads: GUI thread only.

namespace platform {

class Application {
public:
    static void enterBackground();
    static void enterForeground();
};

} // namespace platform
