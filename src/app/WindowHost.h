#pragma once

// The app's window: shows the view tree at the screen size in points × scale, turns mouse input
// into touches, and takes the device keys (1-6 orientation, B/F background/foreground, Q quit).
// Headless, the same tree is kept and rendered offscreen for screenshots. The host owns the
// first screen's controller; the application delegate puts it on the window at launch.
//
// Threads: GUI thread only.

#include <memory>

#include <QTimer>
#include <QWidget>

#include "HostSettings.h"
#include "platform/core/ThreadChecker.h"
#include "platform/ui/TouchDispatcher.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

class WindowHost : public QWidget {
public:
    WindowHost(const HostSettings& settings, std::unique_ptr<platform::ViewController> screen);
    ~WindowHost() override;

    platform::Window& window() const { return *m_window; }
    platform::ViewController& screen() const { return *m_screen; }
    platform::TouchDispatcher& touches() { return m_touches; }
    // The whole composed screen, (points × scale) device pixels.
    QImage grabScreen() const;
    // Writes grabScreen() as a PNG; false with a message on failure.
    bool writeScreenshot(const QString& path, QString* error) const;
    void setOrientation(int orientation);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    QPointF toPoints(const QPointF& pixels) const;
    void refresh();

    HostSettings m_settings;
    std::unique_ptr<platform::Window> m_window;
    std::unique_ptr<platform::ViewController> m_screen; // destroyed before the window
    platform::TouchDispatcher m_touches;
    QTimer m_refresh;
    quint64 m_paintedRevision { ~quint64(0) };
    [[no_unique_address]] platform::ThreadChecker m_guiThread;
};
