#include "ui/OptionButton.h"

#include <QColor>

#include "platform/graphics/Layer.h"
#include "platform/ui/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/Touch.h"

using platform::ControlEventTouchUpInside;
using platform::ControlEventValueChanged;
using platform::Font;
using platform::Label;
using platform::View;

namespace ui {

namespace {

constexpr qreal kFontSize = 14;
constexpr qreal kHeight = 32;
constexpr qreal kItemsLeft = 54; // right of the title
constexpr qreal kItemTop = -3; // the item labels overhang the control a little
constexpr qreal kItemHeight = 39; // ... so their text centres on the row
constexpr qreal kCreationItemHeight = 26;
constexpr qreal kMargins = 64; // title and the space around the items

// Sets animations on or off for a scope and puts the previous state back afterwards.
class AnimationsEnabledScope {
public:
    explicit AnimationsEnabledScope(bool enabled)
        : m_previous(View::areAnimationsEnabled())
    {
        View::setAnimationsEnabled(enabled);
    }
    ~AnimationsEnabledScope() { View::setAnimationsEnabled(m_previous); }
    AnimationsEnabledScope(const AnimationsEnabledScope&) = delete;
    AnimationsEnabledScope& operator=(const AnimationsEnabledScope&) = delete;

private:
    bool m_previous;
};

} // namespace

OptionButton::OptionButton(const QPointF& point, const QString& title, const QStringList& buttonNames,
    std::int32_t selectedItem, float buttonWidth)
    : platform::Button(QRectF(point.x(), point.y(), qreal(buttonWidth) + kMargins, kHeight))
{
    // Everything below is the starting state, not a change anyone should see move.
    const AnimationsEnabledScope noAnimations(false);

    const qreal w = buttonWidth;
    const auto n = qreal(buttonNames.size());
    m_frameShrunk = QRectF(point.x(), point.y(), w + kMargins, kHeight);
    m_frameExpanded = QRectF(point.x(), point.y(), n * w + kMargins, kHeight);
    m_buttonWidth = buttonWidth;

    auto titleLabel = std::make_unique<Label>(QRectF(8, 9, 44, 16), title);
    titleLabel->setFont(Font::systemFont(kFontSize));
    titleLabel->setTextColor(Qt::black);
    titleLabel->setBackgroundColor(Qt::transparent);
    m_titleLabel = static_cast<Label*>(addSubview(std::move(titleLabel)));

    m_labels.reserve(std::size_t(buttonNames.size()));
    for (qsizetype i = 0; i < buttonNames.size(); ++i) {
        auto label = std::make_unique<Label>(
            QRectF(kItemsLeft + qreal(i) * w, kItemTop, w, kCreationItemHeight), buttonNames[i]);
        label->setFont(Font::systemFont(kFontSize));
        label->setTextColor(Qt::black);
        label->setBackgroundColor(Qt::transparent);
        label->setTextAlignment(Label::AlignmentCenter);
        m_labels.push_back(static_cast<Label*>(addSubview(std::move(label))));
    }

    addTarget(
        this, [this](Control& sender, const platform::Touch* touch) { chooseLabel(sender, touch); },
        ControlEventTouchUpInside);

    setBackgroundColor(Qt::transparent);
    layer().setBackgroundColor(QColor(255, 255, 255, 128));
    layer().setBorderWidth(1);
    layer().setBorderColor(Qt::black);
    layer().setCornerRadius(15);

    // Laid out as open, then collapsed onto the chosen item. A valid index other than 0 is a
    // change from the initial 0 and is reported, though nobody can be listening yet.
    m_expanded = true;
    setSelectedItem(selectedItem);
}

OptionButton::OptionButton(
    const QPointF& point, const QString& title, const QStringList& buttonNames, std::int32_t selectedItem)
    : OptionButton(point, title, buttonNames, selectedItem, defaultButtonWidth)
{
}

OptionButton::OptionButton(const QPointF& point, const QString& title, const QStringList& buttonNames)
    : OptionButton(point, title, buttonNames, 0, defaultButtonWidth)
{
}

QRectF OptionButton::openItemFrame(std::size_t i) const
{
    return QRectF(kItemsLeft + qreal(i) * qreal(m_buttonWidth), kItemTop, m_buttonWidth, kItemHeight);
}

void OptionButton::setSelectedItem(std::int32_t index)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // Compared unsigned, so a negative index counts as too large.
    const auto k = static_cast<std::uint32_t>(index);
    if (k >= m_labels.size())
        return;

    const bool wasOpen = m_expanded;
    if (wasOpen)
        View::beginAnimations(QString());
    const qreal w = m_buttonWidth;
    for (std::size_t i = 0; i < m_labels.size(); ++i) {
        Label& label = *m_labels[i];
        if (i < k) {
            label.setFrame(QRectF(kItemsLeft, kItemTop, 0, kItemHeight));
        } else if (i > k) {
            label.setFrame(QRectF(kItemsLeft + w, kItemTop, 0, kItemHeight));
        } else {
            label.setFrame(QRectF(kItemsLeft, kItemTop, w, kItemHeight));
            label.setTextColor(Qt::black);
        }
        label.setFont(Font::systemFont(kFontSize));
    }
    if (wasOpen) {
        setFrame(QRectF(frame().topLeft(), m_frameShrunk.size()));
        View::commitAnimations();
        m_expanded = false;
    }

    if (m_selectedItem == index)
        return;
    m_selectedItem = index;
    sendActionsForControlEvents(ControlEventValueChanged);
}

void OptionButton::chooseLabel(platform::Control&, const platform::Touch* event)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    View::beginAnimations(QString());
    if (!m_expanded) {
        m_expanded = true;
        for (std::size_t i = 0; i < m_labels.size(); ++i) {
            if (i == std::size_t(m_selectedItem))
                m_labels[i]->setFont(Font::boldSystemFont(kFontSize));
            else
                m_labels[i]->setTextColor(QColor(0, 0, 0, 204));
        }
        for (std::size_t i = 0; i < m_labels.size(); ++i)
            m_labels[i]->setFrame(openItemFrame(i));
        setFrame(QRectF(frame().topLeft(), m_frameExpanded.size()));
    } else if (event) {
        for (std::size_t i = 0; i < m_labels.size(); ++i) {
            Label& label = *m_labels[i];
            if (!label.pointInside(event->locationInView(label)))
                continue;
            label.setFrame(QRectF(kItemsLeft, kItemTop, m_buttonWidth, kItemHeight));
            setSelectedItem(std::int32_t(i));
            break;
        }
    }
    View::commitAnimations();
}

void OptionButton::tapAt(const QPointF& point)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    platform::Touch touch;
    touch.windowLocation = convertPointToRoot(point);
    touch.root = root();
    touch.phase = platform::TouchPhase::Began;
    touchesBegan(touch);
    touch.phase = platform::TouchPhase::Ended;
    touchesEnded(touch);
}

bool OptionButton::chooseItemForScript(int index)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (index < 0 || std::size_t(index) >= m_labels.size() || !isEnabled())
        return false;
    // A target's action may destroy the control between the two taps.
    const View::Weak self(this);
    if (!m_expanded)
        tapAt(m_titleLabel->frame().center()); // any tap opens the row; the title never chooses
    if (!self.get())
        return false;
    tapAt(m_labels[std::size_t(index)]->frame().center());
    return self.get() && m_selectedItem == index;
}

} // namespace ui
