#pragma once

// A small screen of toolkit controls, shown until the camera screen takes its place: a button
// that toggles a label, a slider whose value a label shows, and the device orientation.
// Accessibility names: demoButton, demoLabel, demoSlider, demoValueLabel, demoOrientationLabel.
//
// Threads: GUI thread only.

#include "platform/ui/NotificationCenter.h"
#include "platform/ui/ViewController.h"

namespace platform {
class Button;
class Label;
class Slider;
} // namespace platform

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

    platform::Button* m_button { nullptr }; // subviews of the view
    platform::Label* m_stateLabel { nullptr };
    platform::Slider* m_slider { nullptr };
    platform::Label* m_valueLabel { nullptr };
    platform::Label* m_orientationLabel { nullptr };
    bool m_on { false };
    platform::NotificationCenter::Token m_orientationObserver { 0 };
};
