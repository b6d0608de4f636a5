#pragma once

// The Qt application object of lumivue. An exception that escapes an event handler or a slot
// would otherwise unwind through Qt's event loop, which is not written for it; here it ends in
// std::terminate at once, with the exception still current, so the uncaught-exception handler
// can report its type and message.
//
// Threads: GUI thread (notify runs on the thread of the receiver's event loop).

#include <QGuiApplication>

class LumivueApplication : public QGuiApplication {
public:
    LumivueApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
