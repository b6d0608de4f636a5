// LumivueViewController: the interface, built in code for the phone and the tablet, and the
// connections from its controls to the screen's operations.

#include "ui/LumivueViewController.h"

#include "platform/graphics/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ControlEvent.h"
#include "platform/device/Device.h"
#include "platform/ui/Font.h"
#include "platform/ui/Label.h"
#include "platform/device/Screen.h"
#include "platform/ui/Slider.h"
#include "ui/ButtonArt.h"
#include "ui/HUDView.h"

namespace ui {

using platform::Button;
using platform::Control;
using platform::Slider;
using platform::View;

namespace {

template <typename T> T* add(View& parent, std::unique_ptr<T> view, const QString& name)
{
    view->setAccessibilityName(name);
    return static_cast<T*>(parent.addSubview(std::move(view)));
}

// A round translucent button with a white symbol.
std::unique_ptr<Button> symbolButton(const QRectF& frame, const QImage& art)
{
    auto button = std::make_unique<Button>(frame);
    button->setBackgroundColor(QColor(0, 0, 0, 115));
    button->layer().setBorderWidth(1);
    button->layer().setBorderColor(QColor(255, 255, 255, 150));
    button->layer().setCornerRadius(frame.width() / 2);
    button->setImage(art);
    return button;
}

std::unique_ptr<platform::Label> caption(const QRectF& frame, const QString& text, qreal size)
{
    auto label = std::make_unique<platform::Label>(frame, text);
    label->setFont(platform::Font::boldSystemFont(size));
    label->setTextColor(QColor(255, 255, 255, 210));
    label->setTextAlignment(platform::Label::AlignmentRight);
    label->setUserInteractionEnabled(false);
    return label;
}

} // namespace

void LumivueViewController::loadView()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    buildInterface(ScreenLayout::forInterface(platform::Device::current().isTablet()));
    connectControls();
}

void LumivueViewController::buildInterface(const ScreenLayout& l)
{
    const qreal scale = platform::Screen::main().scale();
    const bool tablet = l.screen.width() > 400;
    auto root = std::make_unique<View>(l.screen);
    root->setBackgroundColor(Qt::black);

    // The live picture and the scope layers are sublayers of the preview view's layer.
    auto preview = std::make_unique<View>(l.screen);
    preview->setBackgroundColor(Qt::black);
    preview->setClipsToBounds(true);
    preview->setUserInteractionEnabled(false);
    m_previewView = add(*root, std::move(preview), QStringLiteral("previewView"));

    // Everything over the picture; touches outside the controls fall through to nothing.
    m_controllScreenView = add(*root, std::make_unique<View>(l.screen), QStringLiteral("controllScreenView"));

    auto hud = std::make_unique<HUDView>(l.controllHUDView);
    m_controllHUDView = add(*m_controllScreenView, std::move(hud), QStringLiteral("controllHUDView"));

    m_torchButton = add(*m_controllScreenView,
        symbolButton(l.torchButton, ButtonArt::torch(l.torchButton.width(), scale)),
        QStringLiteral("torchButton"));
    m_cameraButton = add(*m_controllScreenView,
        symbolButton(l.cameraButton, ButtonArt::cameraSwitch(l.cameraButton.width(), scale)),
        QStringLiteral("cameraButton"));
    // Found cameras decide whether it shows.
    m_cameraButton->setHidden(true);
    m_denoiseButton = add(*m_controllScreenView,
        symbolButton(l.denoiseButton, ButtonArt::nightMode(l.denoiseButton.width(), scale, false)),
        QStringLiteral("denoiseButton"));
    showNightMode(); // --denoise may have switched it on before the screen loaded

    const qreal captionSize = tablet ? 14 : 10;
    m_levelCaption = add(*m_controllScreenView, caption(l.levelIcon, QStringLiteral("LEVEL"), captionSize),
        QStringLiteral("levelCaption"));
    auto level = std::make_unique<Slider>(l.sliderNVLevel);
    level->setMinimumValue(0);
    level->setMaximumValue(80);
    level->setValue(1);
    m_sliderNVLevel = add(*m_controllScreenView, std::move(level), QStringLiteral("sliderNVLevel"));

    add(*m_controllScreenView, caption(l.zoomIcon, QStringLiteral("ZOOM"), captionSize),
        QStringLiteral("zoomCaption"));
    auto zoom = std::make_unique<Slider>(l.sliderZoom);
    zoom->setMinimumValue(0);
    zoom->setMaximumValue(0.8f);
    zoom->setValue(0);
    m_sliderZoom = add(*m_controllScreenView, std::move(zoom), QStringLiteral("sliderZoom"));

    auto bar = std::make_unique<View>(l.controllView);
    bar->setBackgroundColor(QColor(0, 0, 0, 140));
    m_controllView = add(*m_controllScreenView, std::move(bar), QStringLiteral("controllView"));

    auto album = std::make_unique<Button>(l.captureButton);
    album->setBackgroundColor(QColor(30, 30, 34, 220));
    album->layer().setBorderWidth(1.5);
    album->layer().setBorderColor(QColor(255, 255, 255, 200));
    album->layer().setCornerRadius(8);
    album->setImage(ButtonArt::albumPlaceholder(l.captureButton.width(), scale));
    m_captureButton = add(*m_controllView, std::move(album), QStringLiteral("captureButton"));

    auto shutter = std::make_unique<Button>(l.takePictureButton);
    shutter->setImage(ButtonArt::shutter(l.takePictureButton.width(), scale));
    m_takePictureButton = add(*m_controllView, std::move(shutter), QStringLiteral("takePictureButton"));

    m_NVButton = add(*m_controllView, symbolButton(l.NVButton, ButtonArt::grid(l.NVButton.width(), scale)),
        QStringLiteral("NVButton"));

    setView(std::move(root));
}

void LumivueViewController::connectControls()
{
    const auto tap = platform::ControlEventTouchUpInside;
    m_takePictureButton->addTarget(
        this, [this](Control&, const platform::Touch*) { takePicture(); }, tap);
    m_captureButton->addTarget(
        this, [this](Control&, const platform::Touch*) { photoAlbum(); }, tap);
    m_cameraButton->addTarget(
        this, [this](Control&, const platform::Touch*) { changeCamera(); }, tap);
    m_torchButton->addTarget(
        this, [this](Control&, const platform::Touch*) { changeScopeTorch(); }, tap);
    m_NVButton->addTarget(
        this, [this](Control&, const platform::Touch*) { changeScopeGrid(); }, tap);
    m_denoiseButton->addTarget(
        this, [this](Control&, const platform::Touch*) { changeNightMode(); }, tap);
    m_sliderNVLevel->addTarget(
        this,
        [this](Control& sender, const platform::Touch*) {
            sliderNVAction(static_cast<Slider&>(sender).value());
        },
        platform::ControlEventValueChanged);
    m_sliderNVLevel->addTarget(
        this, [this](Control&, const platform::Touch*) { sliderNVFinish(); },
        platform::ControlEventTouchUpInside | platform::ControlEventTouchUpOutside);
    // The frame queue reads the zoom on every frame; the settings keep it in an atomic.
    m_sliderZoom->addTarget(
        this,
        [this](Control& sender, const platform::Touch*) {
            m_settings.setZoom(static_cast<Slider&>(sender).value());
            m_pipeline.resetNightMode(); // another part of the frame, magnified otherwise
        },
        platform::ControlEventValueChanged);
}

} // namespace ui
