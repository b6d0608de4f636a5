#include "WindowHost.h"

#include <cstdio>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>

#include "platform/core/AlertPresenter.h"
#include "platform/core/Log.h"
#include "platform/device/Application.h"
#include "platform/device/Device.h"
#include "ui/LumivueViewController.h"
#include "ui/QmlTypes.h"

using namespace platform;

namespace {

// Why Qt Quick should not draw with OpenGL here, or nothing when it should: no context can be
// made, or the only OpenGL is a software rasterizer (Mesa's llvmpipe on a bare X server), which
// spends more of the CPU on a full-window picture than Qt Quick's own software renderer. The user
// may pick a way with QSG_RHI_BACKEND or QT_QUICK_BACKEND; then that is used.
QString openGLUnsuitable()
{
    if (qEnvironmentVariableIsSet("QSG_RHI_BACKEND") || qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        return {};
    QOpenGLContext context;
    QOffscreenSurface surface;
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface))
        return QStringLiteral("No OpenGL on this display; drawing in software");
    const auto* renderer = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QString name = QString::fromLatin1(renderer ? renderer : "");
    context.doneCurrent();
    for (const char* rasterizer : { "llvmpipe", "softpipe", "Software Rasterizer", "SWR" })
        if (name.contains(QLatin1String(rasterizer), Qt::CaseInsensitive))
            return QStringLiteral("OpenGL here is a software rasterizer (%1); drawing in software").arg(name);
    return {};
}

} // namespace

WindowHost::WindowHost(const HostSettings& settings, std::unique_ptr<ui::LumivueViewController> screen)
    : m_settings(settings)
    , m_screen(std::move(screen))
{
    m_clock.start();
    ui::registerQmlTypes();
    // Alerts raised anywhere show on the screen.
    setAlertPresenter(
        [screen = m_screen.get()](const QString& title, const QString& message, const QString& button) {
            QMetaObject::invokeMethod(
                screen, [screen, title, message, button] { screen->presentAlert(title, message, button); },
                Qt::QueuedConnection);
        });
}

bool WindowHost::load()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // A humanist sans with wide coverage for every text of the screen; Qt falls back on its own
    // when it is missing.
    QFont font(QFontDatabase::hasFamily(QStringLiteral("Liberation Sans")) ? QStringLiteral("Liberation Sans")
                                                                           : QStringLiteral("DejaVu Sans"));
    font.setHintingPreference(QFont::PreferNoHinting);
    QGuiApplication::setFont(font);
    // Offscreen there is no GPU to ask for, and a display without OpenGL (a bare X server, a
    // remote session) gives none: the software renderer draws the same scene on the CPU.
    const QString unsuitable = m_settings.headless ? QString() : openGLUnsuitable();
    if (m_settings.headless || !unsuitable.isEmpty()) {
        if (!unsuitable.isEmpty())
            platform::logLine(platform::lcUi(), unsuitable);
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
    m_view = std::make_unique<QQuickView>();
    m_view->setTitle(QStringLiteral("Lumivue"));
    m_view->setColor(Qt::black);
    m_view->setResizeMode(QQuickView::SizeRootObjectToView);
    m_view->resize(qRound(m_settings.screenWidth()), qRound(m_settings.screenHeight()));
    m_view->installEventFilter(this);
    if (!m_settings.headless) {
        // A phone shell minimises or hides the window of an app the user left.
        QObject::connect(
            m_view.get(), &QWindow::visibilityChanged, this, [this](QWindow::Visibility visibility) {
                const bool hidden = visibility == QWindow::Minimized || visibility == QWindow::Hidden;
                if (hidden == m_hiddenByShell)
                    return;
                m_hiddenByShell = hidden;
                if (hidden)
                    Application::enterBackground();
                else
                    Application::enterForeground();
            });
    }
    if (m_qmlWarnings)
        QObject::connect(
            m_view->engine(), &QQmlEngine::warnings, this, [this](const QList<QQmlError>& warnings) {
                for (const QQmlError& warning : warnings)
                    m_qmlWarnings(warning.toString());
            });
    m_view->rootContext()->setContextProperty(QStringLiteral("controller"), m_screen.get());
    m_view->setSource(QUrl(QStringLiteral("qrc:/lumivue/Main.qml")));
    m_loaded = m_view->status() == QQuickView::Ready && m_view->rootObject();
    if (!m_loaded) {
        for (const QQmlError& error : m_view->errors())
            std::fprintf(stderr, "lumivue: %s\n", qUtf8Printable(error.toString()));
        return false;
    }
    return true;
}

WindowHost::~WindowHost()
{
    setAlertPresenter({});
    if (!m_view)
        return;
    m_view->removeEventFilter(this);
    // Closing the window is not the user leaving the app.
    QObject::disconnect(m_view.get(), nullptr, this, nullptr);
    m_view.reset(); // the items go before the screen they show
}

void WindowHost::show()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_settings.headless) {
        if (const QScreen* screen = m_view->screen()) {
            const QSize room = screen->availableGeometry().size();
            if (m_view->width() > room.width() || m_view->height() > room.height())
                m_view->resize(m_view->size().boundedTo(room));
        }
    }
    m_view->show();
}

QQuickItem* WindowHost::findItem(const QString& name) const
{
    QQuickItem* root = m_view ? m_view->rootObject() : nullptr;
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    return root->findChild<QQuickItem*>(name);
}

void WindowHost::sendMouse(int type, QPointF point, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(
        QEvent::Type(type), point, point, m_view->mapToGlobal(point), button, buttons, Qt::NoModifier);
    event.setTimestamp(quint64(m_clock.elapsed() + m_touchClockAhead));
    QCoreApplication::sendEvent(m_view.get(), &event);
}

void WindowHost::press(QPointF point)
{
    sendMouse(QEvent::MouseButtonPress, point, Qt::LeftButton);
}

void WindowHost::move(QPointF point)
{
    sendMouse(QEvent::MouseMove, point, Qt::LeftButton);
}

void WindowHost::release(QPointF point)
{
    sendMouse(QEvent::MouseButtonRelease, point, Qt::NoButton);
}

bool WindowHost::wheel(QPointF point, qreal steps)
{
    QWheelEvent event(point, m_view->mapToGlobal(point), QPoint(), QPoint(0, qRound(steps * 120)),
        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    event.setTimestamp(quint64(m_clock.elapsed() + m_touchClockAhead));
    QCoreApplication::sendEvent(m_view.get(), &event);
    return event.isAccepted();
}

QImage WindowHost::grabScreen() const
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    const QImage image = m_view->grabWindow();
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

bool WindowHost::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_view.get() || event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key >= Qt::Key_1 && key <= Qt::Key_6)
        setOrientation(key - Qt::Key_0);
    else if (key == Qt::Key_B)
        Application::enterBackground();
    else if (key == Qt::Key_F)
        Application::enterForeground();
    else if (key == Qt::Key_Q)
        QGuiApplication::quit();
    else
        return false;
    return true;
}
