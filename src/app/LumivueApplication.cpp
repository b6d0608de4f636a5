#include "LumivueApplication.h"

#include <exception>

LumivueApplication::LumivueApplication(int& argc, char** argv)
    : QGuiApplication(argc, argv)
{
}

bool LumivueApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QGuiApplication::notify(receiver, event);
    } catch (...) {
        std::terminate(); // inside the handler: the exception is still the current one
    }
}
