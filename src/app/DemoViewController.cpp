#include "DemoViewController.h"

#include "platform/graphics/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/Device.h"
#include "platform/ui/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Slider.h"
#include "platform/ui/SystemSound.h"

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

    root->addSubview(makeLabel(QRectF(0, 40, w, 30), QStringLiteral("demoTitle"), Font::boldSystemFont(22)));
    static_cast<Label*>(root->subviews().back())->setText(QStringLiteral("Lumivue"));

    auto button = std::make_unique<Button>(QRectF(w / 2 - 70, 120, 140, 44), QStringLiteral("Toggle"));
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
    m_orientationLabel = static_cast<Label*>(root->addSubview(
        makeLabel(QRectF(0, screen.height() - 50, w, 24), QStringLiteral("demoOrientationLabel"),
                  Font::systemFont(14))));
    setView(std::move(root));
}

void DemoViewController::viewDidLoad()
{
    m_button->addTarget(this, [this](Control&, const Touch*) { toggle(); }, ControlEventTouchUpInside);
    m_slider->addTarget(this, [this](Control&, const Touch*) { showValue(); }, ControlEventValueChanged);
    Device::current().beginGeneratingDeviceOrientationNotifications();
    m_orientationObserver = NotificationCenter::defaultCenter().addObserver(
        Device::orientationDidChangeNotification, this, [this](const Notification&) { showOrientation(); });
    m_on = true;
    toggle(); // draws the "Off" state
    showValue();
    showOrientation();
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
}
