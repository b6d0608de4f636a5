#pragma once

// The app's window: the camera screen's QML in a QQuickView of the window size in points (at
// the screen scale), drawn by the GPU, or by Qt Quick's software renderer offscreen (--headless).
// It takes the device keys (1-6 orientation, B/F background/foreground, Q quit), and a real
// window that is minimised or hidden sends the app to the background. Scripted control sends
// its touches here, as mouse events at points of the scene.
//
// Threads: GUI thread only.

#include <functional>
#include <memory>

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>

#include "HostSettings.h"
#include "platform/core/ThreadChecker.h"

class QQuickItem;
class QQuickView;

namespace ui {
class LumivueViewController;
}

class WindowHost : public QObject {
public:
    WindowHost(const HostSettings& settings, std::unique_ptr<ui::LumivueViewController> screen);
    ~WindowHost() override;

    // Makes the window and the screen's items from its QML; false (with the reason on stderr)
    // when it cannot. Until then there is no view.
    bool load();
    // Hears every QML warning of the screen (a test fails on one); before load().
    void setQmlWarningHandler(std::function<void(const QString&)> handler)
    {
        m_qmlWarnings = std::move(handler);
    }
    bool isLoaded() const { return m_loaded; }
    QQuickView& view() const { return *m_view; }
    ui::LumivueViewController& screen() const { return *m_screen; }
    // Shows the window (offscreen when headless), never larger than the screen it is on.
    void show();

    // The item with that objectName, or null.
    QQuickItem* findItem(const QString& name) const;
    // A finger on the scene, in points.
    void press(QPointF point);
    void move(QPointF point);
    void release(QPointF point);
    // Moves the touches' timestamps on by `ms`: a scripted finger keeps a finger's pace, so a
    // drag is a drag and not a fling, however fast the events are sent.
    void advanceTouchClock(int ms) { m_touchClockAhead += ms; }
    // Wheel notches (120 angle units each, positive away from the user) at a point; false when
    // nothing under it took them.
    bool wheel(QPointF point, qreal steps);

    // The whole composed screen, (points × scale) device pixels, opaque.
    QImage grabScreen() const;
    // Writes grabScreen() as a PNG; false with a message on failure.
    bool writeScreenshot(const QString& path, QString* error) const;
    void setOrientation(int orientation);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sendMouse(int type, QPointF point, Qt::MouseButtons buttons);

    HostSettings m_settings;
    std::unique_ptr<ui::LumivueViewController> m_screen; // outlives the view's items
    std::unique_ptr<QQuickView> m_view;
    QElapsedTimer m_clock; // timestamps of the scripted touches
    qint64 m_touchClockAhead { 0 }; // ms added to them
    bool m_loaded { false };
    std::function<void(const QString&)> m_qmlWarnings;
    bool m_hiddenByShell { false }; // minimised or hidden, so sent to the background
    [[no_unique_address]] platform::ThreadChecker m_guiThread;
};
