#pragma once

// Shared set-up for the camera-screen tests: a phone or tablet screen, a synthetic camera on a
// clock that only moves when told (so no frame arrives unasked), a fixed location fix, a fresh
// analytics layer over an in-memory store, a test animation clock and a log reader.

#include <QStringList>
#include <memory>

#include <gtest/gtest.h>

#include "analytics/TallyAPI.h"
#include "analytics/TallySessionStore.h"
#include "platform/camera/CameraSource.h"
#include "platform/camera/CaptureBackend.h"
#include "platform/camera/ManualFrameClock.h"
#include "platform/ui/Animator.h"
#include "platform/device/Device.h"
#include "platform/ui/FakeAnimationClock.h"
#include "platform/device/LocationManager.h"
#include "platform/device/Screen.h"
#include "platform/device/SystemSound.h"
#include "support/LogCapture.h"
#include "support/MemorySessionStore.h"

namespace ui::test {

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SystemSound::setMuted(true);
        analytics::TallyAPI::resetForTesting();
        analytics::TallySessionStore::setInstance(m_store);
        useIdiom(platform::Device::IdiomPhone);
        platform::Device::current().setAnswersIdiomQuery(true);
        platform::Device::current().setOrientation(1);
        platform::Screen::main().setScale(2);
        platform::LocationFix fix;
        fix.latitude = 48.8584;
        fix.longitude = 2.2945;
        fix.horizontalAccuracy = 12;
        platform::LocationManager::configure(fix, platform::LocationManager::SystemSource::Ignore);
    }
    void TearDown() override
    {
        platform::LocationManager::configure(std::nullopt, platform::LocationManager::SystemSource::Ignore);
        platform::Device::current().setOrientation(1);
        platform::Device::current().setUserInterfaceIdiom(platform::Device::IdiomPhone);
        platform::Screen::main().setBounds(QRectF(0, 0, 320, 480));
        analytics::TallyAPI::resetForTesting();
    }

    static void useIdiom(int idiom)
    {
        platform::Device::current().setUserInterfaceIdiom(idiom);
        platform::Screen::main().setBounds(
            idiom == platform::Device::IdiomTablet ? QRectF(0, 0, 768, 1024) : QRectF(0, 0, 320, 480));
    }

    // The synthetic back and front cameras, on a clock that stands still.
    std::shared_ptr<platform::CaptureBackend> syntheticCameras()
    {
        auto source = platform::CameraSource::parse(QStringLiteral("synthetic"));
        auto backend = source->makeBackend(m_frameClock);
        return backend ? backend.value() : nullptr;
    }

    QStringList logLines() const { return m_log.lines(); }

    std::shared_ptr<testing_support::MemorySessionStore> m_store {
        std::make_shared<testing_support::MemorySessionStore>()
    };
    std::shared_ptr<platform::ManualFrameClock> m_frameClock {
        std::make_shared<platform::ManualFrameClock>()
    };
    FakeAnimationClock m_animationClock;
    testing_support::LogCapture m_log;
};

} // namespace ui::test
