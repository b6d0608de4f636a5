#pragma once

// Shared set-up for the camera-screen tests: a phone or tablet screen, a synthetic camera on a
// clock that only moves when told (so no frame arrives unasked), a fixed location fix, a fresh
// analytics layer over an in-memory store and a log reader; and the screen itself, its QML in
// the app's own (headless) window host, worked by name as a user's finger would.

#include <functional>
#include <memory>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QQuickItem>
#include <QStringList>

#include <gtest/gtest.h>

#include "WindowHost.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallySessionStore.h"
#include "platform/camera/CameraSource.h"
#include "platform/camera/CaptureBackend.h"
#include "platform/camera/ManualFrameClock.h"
#include "platform/camera/SteadyFrameClock.h"
#include "platform/device/Device.h"
#include "platform/device/LocationManager.h"
#include "platform/device/Screen.h"
#include "platform/device/SystemSound.h"
#include "support/LogCapture.h"
#include "support/MemorySessionStore.h"
#include "ui/LumivueViewController.h"

namespace ui::test {

// Runs the event loop for `ms` milliseconds (animations, queued redraws).
inline void runEvents(int ms)
{
    QElapsedTimer timer;
    timer.start();
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (timer.elapsed() < ms);
}

// The camera screen in a headless window of `size` points (the device class's screen when
// empty), loaded; `prepare` sets it up before its QML is made, as the app's start-up does.
class ScreenHarness {
public:
    explicit ScreenHarness(std::shared_ptr<platform::CaptureBackend> backend, QSize size = {},
        const std::function<void(LumivueViewController&)>& prepare = {})
    {
        HostSettings settings;
        settings.headless = true;
        settings.idiom = platform::Device::current().isTablet() ? 1 : 0;
        if (size.isValid())
            settings.size = size;
        auto screen = std::make_unique<LumivueViewController>(std::move(backend));
        m_screen = screen.get();
        if (prepare)
            prepare(*m_screen);
        host = std::make_unique<WindowHost>(settings, std::move(screen));
        // A QML mistake (a wrong name, a failed binding) only warns: here it fails the test.
        host->setQmlWarningHandler(
            [](const QString& warning) { ADD_FAILURE() << "QML: " << warning.toStdString(); });
        m_screen->viewDidLoad();
        EXPECT_TRUE(host->load());
        host->show();
        runEvents(10);
    }

    LumivueViewController& screen() const { return *m_screen; }
    QQuickItem* item(const char* name) const { return host->findItem(QLatin1String(name)); }
    bool shown(const char* name) const
    {
        const QQuickItem* found = item(name);
        return found && found->isVisible();
    }
    // Where the item covers the window, in points (turns included).
    QRectF sceneRect(const char* name) const
    {
        const QQuickItem* found = item(name);
        return found ? found->mapRectToScene(found->boundingRect()) : QRectF();
    }
    void tap(const char* name)
    {
        const QPointF centre = sceneRect(name).center();
        host->press(centre);
        host->release(centre);
        runEvents(1);
    }
    // The option button's and the slider's scripted control.
    bool call(const char* name, const char* function, const QVariant& argument)
    {
        QVariant result;
        QQuickItem* found = item(name);
        return found
            && QMetaObject::invokeMethod(
                found, function, Q_RETURN_ARG(QVariant, result), Q_ARG(QVariant, argument))
            && result.toBool();
    }
    bool choose(const char* name, int index) { return call(name, "chooseItemForScript", index); }
    bool slide(const char* name, double value) { return call(name, "slideForScript", value); }

    std::unique_ptr<WindowHost> host;

private:
    LumivueViewController* m_screen { nullptr }; // owned by the host
};

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

    // The synthetic back and front cameras, on a clock that stands still (or, `running`, the
    // real one: frames come by themselves).
    std::shared_ptr<platform::CaptureBackend> syntheticCameras(bool running = false)
    {
        auto source = platform::CameraSource::parse(QStringLiteral("synthetic"));
        auto backend = running ? source->makeBackend(std::make_shared<platform::SteadyFrameClock>())
                               : source->makeBackend(m_frameClock);
        return backend ? backend.value() : nullptr;
    }

    QStringList logLines() const { return m_log.lines(); }

    std::shared_ptr<testing_support::MemorySessionStore> m_store {
        std::make_shared<testing_support::MemorySessionStore>()
    };
    std::shared_ptr<platform::ManualFrameClock> m_frameClock {
        std::make_shared<platform::ManualFrameClock>()
    };
    testing_support::LogCapture m_log;
};

} // namespace ui::test
