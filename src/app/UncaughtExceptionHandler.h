#pragma once

// The last-resort report of a C++ exception that nothing caught. uncaughtExceptionHandler hands
// the exception to analytics (error id "Uncaught", message "Crash!", the exception's type and
// what()) and returns; it neither logs nor ends the process. installUncaughtExceptionHandler
// makes it run from std::terminate, ahead of the handler that was installed before (by default
// the runtime's, which prints the exception and aborts), so the process still ends as usual.
//
// Escaping exceptions reach std::terminate from any thread; from the Qt event loop they do so
// through LumivueApplication::notify and the guard around exec() in main().
//
// Threads: install/uninstall on the main thread before other threads start; the handler runs on
// whichever thread is terminating, and reports at most once per process.

#include <exception>

void uncaughtExceptionHandler(const std::exception* exception);

void installUncaughtExceptionHandler();
// Restores the handler that was there before (tests install and remove it many times).
void uninstallUncaughtExceptionHandler();
bool isUncaughtExceptionHandlerInstalled();
