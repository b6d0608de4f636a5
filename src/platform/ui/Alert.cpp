#include "platform/ui/Alert.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include "platform/core/AlertPresenter.h"
#include "platform/core/Log.h"
#include "platform/graphics/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

constexpr qreal kBoxWidth = 270; // points
constexpr qreal kPadding = 16; // points
constexpr qreal kButtonHeight = 44; // points

QRectF messageRect(const QString& message, qreal width)
{
    return QFontMetricsF(Font::systemFont(13))
        .boundingRect(QRectF(0, 0, width, 10000), int(Qt::AlignHCenter | Qt::TextWordWrap), message);
}

} // namespace

Alert::Alert(const QRectF& frame, const QString& title, const QString& message, const QString& buttonTitle)
    : View(frame)
    , m_title(title)
    , m_message(message)
{
    setAccessibilityName(QStringLiteral("alert"));
    setBackgroundColor(QColor(0, 0, 0, 100));
    const QRectF box = boxRect();
    auto button = std::make_unique<Button>(
        QRectF(box.left(), box.bottom() - kButtonHeight, box.width(), kButtonHeight),
        buttonTitle.isEmpty() ? QStringLiteral("OK") : buttonTitle);
    button->setAccessibilityName(QStringLiteral("alertButton"));
    button->addTarget(
        this, [this](Control&, const Touch*) { dismiss(); }, ControlEventTouchUpInside);
    m_button = static_cast<Button*>(addSubview(std::move(button)));
}

QRectF Alert::boxRect() const
{
    const qreal textWidth = kBoxWidth - 2 * kPadding;
    const qreal titleHeight = QFontMetricsF(Font::boldSystemFont(17)).height();
    const qreal messageHeight = m_message.isEmpty() ? 0 : messageRect(m_message, textWidth).height() + 6;
    const qreal height = kPadding + titleHeight + messageHeight + kPadding + kButtonHeight;
    QRectF box(0, 0, kBoxWidth, height);
    box.moveCenter(bounds().center());
    return box;
}

void Alert::paintContent(QPainter& painter) const
{
    const QRectF box = boxRect();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(box, 12, 12);
    painter.fillPath(shape, QColor(246, 246, 246));
    const QRectF text = box.adjusted(kPadding, kPadding, -kPadding, -kButtonHeight);
    const QFont titleFont = Font::boldSystemFont(17);
    const qreal titleHeight = QFontMetricsF(titleFont).height();
    painter.setPen(Qt::black);
    painter.setFont(titleFont);
    painter.drawText(QRectF(text.left(), text.top(), text.width(), titleHeight),
        int(Qt::AlignHCenter | Qt::AlignVCenter), m_title);
    painter.setFont(Font::systemFont(13));
    painter.drawText(QRectF(text.left(), text.top() + titleHeight + 6, text.width(), text.height()),
        int(Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap), m_message);
    painter.setPen(QPen(QColor(0, 0, 0, 50), 0.5));
    const qreal y = box.bottom() - kButtonHeight;
    painter.drawLine(QPointF(box.left(), y), QPointF(box.right(), y));
    painter.restore();
}

void Alert::dismiss()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    setHidden(true);
    setUserInteractionEnabled(false);
    auto completion = std::move(m_completion);
    // Removed from the event loop: this runs inside the button's own action.
    const Weak self(this);
    QTimer::singleShot(0, QCoreApplication::instance(), [self] {
        if (View* view = self.get())
            (void)view->removeFromSuperview(); // destroys the alert
    });
    if (completion)
        completion();
}

Alert* Alert::show(View& host, const QString& title, const QString& message, const QString& buttonTitle)
{
    auto alert = std::make_unique<Alert>(host.bounds(), title, message, buttonTitle);
    return static_cast<Alert*>(host.addSubview(std::move(alert)));
}

void Alert::installAsPresenter()
{
    setAlertPresenter([](const QString& title, const QString& message, const QString& button) {
        auto* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(
            app,
            [title, message, button] {
                logLine(lcUi(), QStringLiteral("Alert: %1: %2 [%3]").arg(title, message, button));
                if (Window* window = Window::keyWindow())
                    Alert::show(*window, title, message, button);
            },
            Qt::QueuedConnection);
    });
}

void Alert::uninstallPresenter()
{
    setAlertPresenter({});
}

} // namespace platform
