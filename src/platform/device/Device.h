#pragma once

// The device the app runs on, as inputs of the window host: the user-interface idiom and the
// device orientation. Orientation codes: 0 unknown, 1 portrait, 2 portrait upside down,
// 3 landscape left, 4 landscape right, 5 face up, 6 face down.
//
// While orientation notifications are being generated (begin... more often than end...), each
// change posts orientationDidChangeNotification on the default NotificationCenter with the
// device as the object.
//
// Threads: GUI thread only.

#include <QString>

#include "platform/core/ThreadChecker.h"

namespace platform {

class Device {
public:
    enum Idiom { IdiomPhone = 0, IdiomTablet = 1 };
    static inline const QString orientationDidChangeNotification
        = QStringLiteral("DeviceOrientationDidChangeNotification");

    static Device& current();

    int userInterfaceIdiom() const { return m_idiom; }
    // Whether the device answers the idiom query at all; callers that get false treat the
    // device as a phone.
    bool answersIdiomQuery() const { return m_answersIdiomQuery; }
    void setUserInterfaceIdiom(int idiom) { m_idiom = idiom; }
    void setAnswersIdiomQuery(bool answers) { m_answersIdiomQuery = answers; }
    // True when the device answers the query and says tablet.
    bool isTablet() const { return m_answersIdiomQuery && m_idiom == IdiomTablet; }

    int orientation() const { return m_orientation; }
    // Returns false (and changes nothing) for a code outside 0-6.
    bool setOrientation(int orientation);
    void beginGeneratingDeviceOrientationNotifications() { ++m_generating; }
    void endGeneratingDeviceOrientationNotifications();
    bool isGeneratingDeviceOrientationNotifications() const { return m_generating > 0; }

private:
    Device() = default;

    int m_idiom { IdiomPhone };
    bool m_answersIdiomQuery { true };
    int m_orientation { 1 };
    int m_generating { 0 };
    [[no_unique_address]] ThreadChecker m_guiThread;
};

} // namespace platform
