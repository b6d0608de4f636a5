#pragma once

// A small screen of toolkit controls, shown until the camera screen takes its place: the
// heads-up panel with the camera screen's three option buttons (their choices shown in a label),
// a button that toggles a label, a slider whose value a label shows, and the device orientation.
// Accessibility names: controllHUDView, bEnlight, bColorSpace, bPreset, demoOptionsLabel,
// demoButton, demoLabel, demoSlider, demoValueLabel, demoOrientationLabel.
//
// Threads: GUI thread only.

#include "platform/ui/NotificationCenter.h"
#include "platform/ui/ViewController.h"

namespace platform {
class Button;
class Label;
class Slider;
} // namespace platform

namespace ui {
class HUDView;
class OptionButton;
} // namespace ui

class DemoViewController : public platform::ViewController {
public:
    DemoViewController() = default;
    ~DemoViewController() override;

    void loadView() override;
    void viewDidLoad() override;

private:
    void toggle();
    void showValue();
    void showOrientation();
    void showOptions();
    void makeOptionButtons();

    platform::Button* m_button { nullptr }; // subviews of the view
    platform::Label* m_stateLabel { nullptr };
    platform::Slider* m_slider { nullptr };
    platform::Label* m_valueLabel { nullptr };
    platform::Label* m_orientationLabel { nullptr };
    ui::HUDView* m_panel { nullptr };
    ui::OptionButton* m_enlight { nullptr }; // subviews of the panel
    ui::OptionButton* m_colorSpace { nullptr };
    ui::OptionButton* m_preset { nullptr };
    platform::Label* m_optionsLabel { nullptr };
    bool m_on { false };
    platform::NotificationCenter::Token m_orientationObserver { 0 };
};
