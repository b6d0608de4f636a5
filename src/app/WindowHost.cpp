#include "WindowHost.h"

#include <QApplication>
#include <QKeyEvent>
#include <QNativeGestureEvent>
#include <QPainter>

#include "platform/core/Log.h"
#include "platform/ui/Alert.h"
#include "platform/device/Application.h"
#include "platform/device/Device.h"
#include "platform/device/Screen.h"

using namespace platform;

namespace {

std::unique_ptr<Window> makeWindow(const HostSettings& settings)
{
    Screen::main().setBounds(QRectF(0, 0, settings.screenWidth(), settings.screenHeight()));
    Screen::main().setScale(settings.scale);
    Device::current().setUserInterfaceIdiom(settings.idiom);
    return std::make_unique<Window>(Screen::main().bounds());
}

} // namespace

WindowHost::WindowHost(const HostSettings& settings, std::unique_ptr<ViewController> screen)
    : m_settings(settings)
    , m_window(makeWindow(settings))
    , m_screen(std::move(screen))
    , m_touches(*m_window)
{
    setWindowTitle(QStringLiteral("Lumivue"));
    setFixedSize(QSize(
        qRound(settings.screenWidth() * settings.scale), qRound(settings.screenHeight() * settings.scale)));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setFocusPolicy(Qt::StrongFocus);
    Alert::installAsPresenter();
    // Repaint at most 60 times a second, and only when something visible changed.
    m_refresh.setInterval(16);
    connect(&m_refresh, &QTimer::timeout, this, &WindowHost::refresh);
    if (!settings.headless)
        m_refresh.start();
}

WindowHost::~WindowHost()
{
    Alert::uninstallPresenter();
    m_window->setRootViewController(nullptr);
}

QPointF WindowHost::toPoints(const QPointF& pixels) const
{
    return pixels / m_settings.scale;
}

void WindowHost::refresh()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (View::sceneRevision() != m_paintedRevision)
        update();
}

QImage WindowHost::grabScreen() const
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    QImage image = m_window->snapshot(m_settings.scale);
    // The screen is opaque: compose onto black like a display would.
    QImage screen(image.size(), QImage::Format_RGB32);
    screen.fill(Qt::black);
    QPainter painter(&screen);
    painter.drawImage(0, 0, image);
    return screen;
}

bool WindowHost::writeScreenshot(const QString& path, QString* error) const
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    const QImage image = grabScreen();
    if (image.isNull() || !image.save(path, "PNG")) {
        if (error)
            *error = QStringLiteral("cannot write the screenshot to '%1'").arg(path);
        return false;
    }
    return true;
}

void WindowHost::setOrientation(int orientation)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    Device::current().setOrientation(orientation);
}

void WindowHost::paintEvent(QPaintEvent*)
{
    m_paintedRevision = View::sceneRevision();
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(m_settings.scale, m_settings.scale);
    m_window->render(painter);
}

void WindowHost::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_touches.press(toPoints(event->position()));
}

void WindowHost::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        m_touches.move(toPoints(event->position()));
}

void WindowHost::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_touches.release(toPoints(event->position()));
}

void WindowHost::wheelEvent(QWheelEvent* event)
{
    const qreal steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        m_touches.wheel(toPoints(event->position()), steps);
}

bool WindowHost::event(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            // value() is the relative change; about 0.2 per wheel notch feels alike.
            m_touches.wheel(toPoints(gesture->position()), gesture->value() * 5);
            return true;
        }
    }
    return QWidget::event(event);
}

void WindowHost::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key >= Qt::Key_1 && key <= Qt::Key_6) {
        setOrientation(key - Qt::Key_0);
    } else if (key == Qt::Key_B) {
        Application::enterBackground();
    } else if (key == Qt::Key_F) {
        Application::enterForeground();
    } else if (key == Qt::Key_Q) {
        QApplication::quit();
    } else {
        QWidget::keyPressEvent(event);
    }
}
