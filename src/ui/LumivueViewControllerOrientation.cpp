// LumivueViewController: the option buttons on the panel, and the reaction to device turns.

#include "ui/LumivueViewController.h"

#include <algorithm>
#include <numbers>

#include "platform/ui/ControlEvent.h"
#include "platform/device/Device.h"
#include "platform/ui/View.h"
#include "ui/HUDView.h"
#include "ui/OptionButton.h"

namespace ui {

namespace {

constexpr QPointF kEnlightOrigin { 8, 8 };
constexpr QPointF kColorOrigin { 8, 48 };
constexpr QPointF kPresetOrigin { 8, 88 };
constexpr float kPresetItemWidth = 40.0f;

// The panel is as wide as the widest button, expanded, beside the left margin of 8.
int widthWithMargin(const OptionButton& button)
{
    const double width = button.frameExpanded().width() + 8;
    return width > 0 ? static_cast<int>(width) : 0;
}

// Creates the button on the panel the first time; afterwards only moves it back to its origin
// (keeping its present size, collapsed or expanded) and shows it.
template <typename Make>
OptionButton* placeOptionButton(HUDView& panel, OptionButton* existing, const QPointF& origin, Make make)
{
    if (existing) {
        const QRectF frame = existing->frame();
        existing->setFrame(QRectF(origin, frame.size()));
        existing->setHidden(false);
        return existing;
    }
    return static_cast<OptionButton*>(panel.addSubview(make()));
}

} // namespace

void LumivueViewController::updateOptionButtonVisibility()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_controllHUDView)
        return;
    HUDView& panel = *m_controllHUDView;
    const auto valueChanged = platform::ControlEventValueChanged;

    m_bEnlight = placeOptionButton(panel, m_bEnlight, kEnlightOrigin, [&] {
        auto button = std::make_unique<OptionButton>(kEnlightOrigin, QStringLiteral("Enlight"),
            QStringList { QStringLiteral("Auto"), QStringLiteral("Manual"), QStringLiteral("Off") }, 0);
        button->setAccessibilityName(QStringLiteral("bEnlight"));
        button->addTarget(
            this,
            [this](platform::Control& sender, const platform::Touch*) {
                enlightChange(static_cast<OptionButton&>(sender).selectedItem());
            },
            valueChanged);
        return button;
    });
    int width = widthWithMargin(*m_bEnlight);

    m_bColorSpace = placeOptionButton(panel, m_bColorSpace, kColorOrigin, [&] {
        auto button = std::make_unique<OptionButton>(kColorOrigin, QStringLiteral("Color"),
            QStringList { QStringLiteral("RGB"), QStringLiteral("GREEN"), QStringLiteral("B&W") }, 0);
        button->setAccessibilityName(QStringLiteral("bColorSpace"));
        button->addTarget(
            this,
            [this](platform::Control& sender, const platform::Touch*) {
                colorSpaceChange(static_cast<OptionButton&>(sender).selectedItem());
            },
            valueChanged);
        return button;
    });
    width = std::max(width, widthWithMargin(*m_bColorSpace));

    int height = 88;
    if (!platform::Device::current().isTablet()) {
        m_bPreset = placeOptionButton(panel, m_bPreset, kPresetOrigin, [&] {
            auto button = std::make_unique<OptionButton>(kPresetOrigin, QStringLiteral("Preset"),
                QStringList { QStringLiteral("Low"), QStringLiteral("Med"), QStringLiteral("High"),
                    QStringLiteral("Photo") },
                3, kPresetItemWidth);
            button->setAccessibilityName(QStringLiteral("bPreset"));
            button->addTarget(
                this,
                [this](platform::Control& sender, const platform::Touch*) {
                    presetChange(static_cast<OptionButton&>(sender).selectedItem());
                },
                valueChanged);
            return button;
        });
        width = std::max(width, widthWithMargin(*m_bPreset));
        height = 128;
    }

    const QRectF frame = panel.frame();
    panel.setFrame(QRectF(frame.topLeft(), QSizeF(width, height)));
}

QTransform LumivueViewController::rotationForOrientation(int deviceOrientation)
{
    // Positive angles turn clockwise on the screen (y down).
    constexpr float pi = std::numbers::pi_v<float>;
    switch (deviceOrientation) {
    case 2:
        return QTransform().rotateRadians(pi);
    case 3:
        return QTransform().rotateRadians(pi / 2);
    case 4:
        return QTransform().rotateRadians(-pi / 2);
    default: // portrait, unknown, face up, face down
        return QTransform();
    }
}

void LumivueViewController::orientationChanged(const platform::Notification& notification)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // The notification's object is the device that turned.
    const auto* device = static_cast<const platform::Device*>(notification.object);
    const int orientation = device ? device->orientation() : platform::Device::current().orientation();
    const QTransform rotation = rotationForOrientation(orientation);

    platform::View::beginAnimations(QStringLiteral("chanheOrientation"));
    platform::View::setAnimationDuration(0.5);
    for (platform::View* button : { static_cast<platform::View*>(m_captureButton),
             static_cast<platform::View*>(m_cameraButton), static_cast<platform::View*>(m_takePictureButton),
             static_cast<platform::View*>(m_NVButton), static_cast<platform::View*>(m_denoiseButton) }) {
        if (button)
            button->setTransform(rotation);
    }
    platform::View::commitAnimations();

    if (m_controllHUDView)
        m_controllHUDView->rotateToOrientation(orientation);
}

bool LumivueViewController::shouldAutorotateToInterfaceOrientation(int interfaceOrientation) const
{
    return interfaceOrientation == 1;
}

} // namespace ui
