// CameraScope: the user's enhancement settings (choosers and the level slider).

#include "imaging/CameraScope.h"

#include <cmath>
#include <limits>

namespace imaging {

namespace {

constexpr int kEnlightAuto = 0;
constexpr int kEnlightManual = 1;
constexpr int kEnlightOff = 2;

std::int32_t sliderLevel(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0f)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value); // toward zero
}

} // namespace

void CameraScope::setLevelSliderValue(float value, bool animated)
{
    static_cast<void>(animated);
    m_levelSliderValue = value;
}

void CameraScope::enlightChange(int item)
{
    switch (item) {
    case kEnlightAuto:
        setLevelSliderHidden(true);
        setScopeNightVisionMode(NightVisionMode::Auto);
        break;
    case kEnlightManual:
        setLevelSliderHidden(false);
        // The slider starts where the automatic mode left the level.
        setLevelSliderValue(static_cast<float>(scopeNightVisionLevel()), false);
        setScopeNightVisionMode(NightVisionMode::Manual);
        break;
    case kEnlightOff:
        setLevelSliderHidden(true);
        setScopeNightVisionMode(NightVisionMode::Off);
        break;
    default:
        break;
    }
    playSystemSound(kClickSound);
    requestOverlayRedraw();
}

void CameraScope::colorSpaceChange(int item)
{
    setScopeNightVisionColorFilter(item);
    playSystemSound(kClickSound);
    requestOverlayRedraw();
}

void CameraScope::sliderNVAction(float value)
{
    if (scopeNightVisionMode() == NightVisionMode::Manual)
        setScopeNightVisionLevel(sliderLevel(value));
}

void CameraScope::sliderNVFinish()
{
    setLevelSliderValue(static_cast<float>(scopeNightVisionLevel()), true);
}

} // namespace imaging
