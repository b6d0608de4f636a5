#include "DemoViewController.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/Device.h"
#include "platform/ui/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Slider.h"
#include "platform/ui/SystemSound.h"
#include "ui/HUDView.h"
#include "ui/OptionButton.h"

using namespace platform;

namespace {

std::unique_ptr<Label> makeLabel(const QRectF& frame, const QString& name, const QFont& font)
{
    auto label = std::make_unique<Label>(frame);
    label->setAccessibilityName(name);
    label->setFont(font);
    label->setTextColor(QColor(235, 235, 235));
    label->setTextAlignment(Label::AlignmentCenter);
    return label;
}

} // namespace

DemoViewController::~DemoViewController()
{
    if (m_orientationObserver) {
        NotificationCenter::defaultCenter().removeObserver(m_orientationObserver);
        Device::current().endGeneratingDeviceOrientationNotifications();
    }
}

void DemoViewController::loadView()
{
    const QRectF screen = Screen::main().bounds();
    const qreal w = screen.width();
    auto root = std::make_unique<View>(screen);
    root->setBackgroundColor(QColor(18, 24, 28));

    root->addSubview(makeLabel(QRectF(0, 8, w, 30), QStringLiteral("demoTitle"), Font::boldSystemFont(22)));
    static_cast<Label*>(root->subviews().back())->setText(QStringLiteral("Lumivue"));

    // The panel is sized once its buttons exist (makeOptionButtons).
    auto panel = std::make_unique<ui::HUDView>(QRectF(8, 44, 0, 0));
    panel->setAccessibilityName(QStringLiteral("controllHUDView"));
    m_panel = static_cast<ui::HUDView*>(root->addSubview(std::move(panel)));

    auto button = std::make_unique<Button>(QRectF(w / 2 - 70, 180, 140, 44), QStringLiteral("Toggle"));
    button->setAccessibilityName(QStringLiteral("demoButton"));
    button->setBackgroundColor(QColor(255, 255, 255, 128));
    button->layer().setBorderWidth(1);
    button->layer().setBorderColor(Qt::black);
    button->layer().setCornerRadius(15);
    button->setTitleColor(Qt::black);
    m_button = static_cast<Button*>(root->addSubview(std::move(button)));

    auto state = makeLabel(QRectF(w / 2 - 80, 230, 160, 40), QStringLiteral("demoLabel"), Font::boldSystemFont(14));
    m_stateLabel = static_cast<Label*>(root->addSubview(std::move(state)));

    auto slider = std::make_unique<Slider>(QRectF(30, 300, w - 60, 40));
    slider->setAccessibilityName(QStringLiteral("demoSlider"));
    slider->setMinimumValue(1);
    slider->setMaximumValue(10);
    slider->setValue(1);
    m_slider = static_cast<Slider*>(root->addSubview(std::move(slider)));

    m_valueLabel = static_cast<Label*>(root->addSubview(
        makeLabel(QRectF(0, 345, w, 24), QStringLiteral("demoValueLabel"), Font::systemFont(14))));
    m_optionsLabel = static_cast<Label*>(root->addSubview(
        makeLabel(QRectF(0, 395, w, 24), QStringLiteral("demoOptionsLabel"), Font::systemFont(14))));
    m_orientationLabel = static_cast<Label*>(root->addSubview(
        makeLabel(QRectF(0, screen.height() - 50, w, 24), QStringLiteral("demoOrientationLabel"),
                  Font::systemFont(14))));
    // The panel goes on top, so that when it turns it stays over what it then covers.
    root->bringSubviewToFront(*m_panel);
    setView(std::move(root));
}

void DemoViewController::makeOptionButtons()
{
    using ui::OptionButton;
    const auto add = [this](std::unique_ptr<OptionButton> button, const char* name, bool click) {
        button->setAccessibilityName(QString::fromLatin1(name));
        button->addTarget(this, [this, click](Control&, const Touch*) {
            if (click)
                SystemSound::play(SystemSound::clickSoundId);
            showOptions();
        }, ControlEventValueChanged);
        return static_cast<OptionButton*>(m_panel->addSubview(std::move(button)));
    };
    m_enlight = add(std::make_unique<OptionButton>(QPointF(8, 8), QStringLiteral("Enlight"),
                                                   QStringList { QStringLiteral("Auto"), QStringLiteral("Manual"), QStringLiteral("Off") }, 0),
                    "bEnlight", true);
    m_colorSpace = add(std::make_unique<OptionButton>(QPointF(8, 48), QStringLiteral("Color"),
                                                      QStringList { QStringLiteral("RGB"), QStringLiteral("GREEN"), QStringLiteral("B&W") }, 0),
                       "bColorSpace", true);
    m_preset = add(std::make_unique<OptionButton>(QPointF(8, 88), QStringLiteral("Preset"),
                                                  QStringList { QStringLiteral("Low"), QStringLiteral("Med"), QStringLiteral("High"), QStringLiteral("Photo") },
                                                  3, 40.0f),
                   "bPreset", false);
    // Wide enough for the widest button open, beside the left margin of 8.
    qreal width = 0;
    for (const OptionButton* b : { m_enlight, m_colorSpace, m_preset })
        width = std::max(width, std::trunc(b->frameExpanded().width() + 8));
    m_panel->setFrame(QRectF(m_panel->frame().topLeft(), QSizeF(width, 128)));
    m_panel->saveOriginalPosition();
}

void DemoViewController::viewDidLoad()
{
    m_button->addTarget(this, [this](Control&, const Touch*) { toggle(); }, ControlEventTouchUpInside);
    m_slider->addTarget(this, [this](Control&, const Touch*) { showValue(); }, ControlEventValueChanged);
    makeOptionButtons();
    Device::current().beginGeneratingDeviceOrientationNotifications();
    m_orientationObserver = NotificationCenter::defaultCenter().addObserver(
        Device::orientationDidChangeNotification, this, [this](const Notification&) { showOrientation(); });
    m_on = true;
    toggle(); // draws the "Off" state
    showValue();
    showOrientation();
    showOptions();
}

void DemoViewController::toggle()
{
    m_on = !m_on;
    m_stateLabel->setText(m_on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    m_stateLabel->setTextColor(m_on ? QColor(20, 20, 20) : QColor(235, 235, 235));
    m_stateLabel->setBackgroundColor(m_on ? QColor(90, 230, 120) : QColor(70, 70, 70));
    m_stateLabel->layer().setCornerRadius(8);
    SystemSound::play(SystemSound::clickSoundId);
}

void DemoViewController::showValue()
{
    m_valueLabel->setText(QStringLiteral("Level %1").arg(double(m_slider->value()), 0, 'f', 1));
}

void DemoViewController::showOrientation()
{
    const int o = Device::current().orientation();
    // Turn the button like the camera screen turns its controls.
    const qreal angle = o == 2 ? M_PI : o == 3 ? M_PI_2 : o == 4 ? -M_PI_2 : 0.0;
    View::beginAnimations(QStringLiteral("demoOrientation"));
    View::setAnimationDuration(0.5);
    m_button->setTransform(QTransform().rotateRadians(angle));
    View::commitAnimations();
    m_orientationLabel->setText(QStringLiteral("Orientation %1").arg(o));
    m_panel->rotateToOrientation(o);
}

void DemoViewController::showOptions()
{
    const auto chosen = [](const ui::OptionButton* b) {
        return b->labels()[std::size_t(b->selectedItem())]->text();
    };
    m_optionsLabel->setText(QStringLiteral("Enlight %1 · Color %2 · Preset %3")
                                .arg(chosen(m_enlight), chosen(m_colorSpace), chosen(m_preset)));
}
