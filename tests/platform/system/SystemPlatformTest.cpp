// The platform stand-ins the analytics layer relies on.
#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

#include "platform/system/ApplicationLifecycle.h"
#include "platform/system/BackgroundTasks.h"
#include "platform/system/DeviceInfo.h"

namespace {

using platform::ApplicationLifecycle;

TEST(DeviceInfo, IdentifierIsStablePerApplicationAndHidesTheMachineId)
{
    const QByteArray machineId = "0123456789abcdef0123456789abcdef";
    const QString id = platform::DeviceInfo::deviceIdentifierFor(machineId, QStringLiteral("lumivue"));
    EXPECT_EQ(id, platform::DeviceInfo::deviceIdentifierFor(machineId, QStringLiteral("lumivue")));
    EXPECT_NE(id, platform::DeviceInfo::deviceIdentifierFor(machineId, QStringLiteral("other")));
    EXPECT_NE(id,
        platform::DeviceInfo::deviceIdentifierFor(
            "fedcba9876543210fedcba9876543210", QStringLiteral("lumivue")));
    EXPECT_FALSE(id.contains(QString::fromLatin1(machineId.left(8))));
    EXPECT_EQ(platform::DeviceInfo::uniqueDeviceIdentifier(), platform::DeviceInfo::uniqueDeviceIdentifier());
}

TEST(DeviceInfo, HardwareModelPrefersDeviceTreeThenDmiThenArchitecture)
{
    QTemporaryDir dir;
    const QString tree = dir.filePath(QStringLiteral("model"));
    const QString dmi = dir.filePath(QStringLiteral("product_name"));
    QFile dmiFile(dmi);
    ASSERT_TRUE(dmiFile.open(QIODevice::WriteOnly));
    dmiFile.write("ThinkPad X1\n");
    dmiFile.close();
    EXPECT_EQ(platform::DeviceInfo::hardwareModelFrom(tree, dmi), QStringLiteral("ThinkPad X1"));
    QFile treeFile(tree);
    ASSERT_TRUE(treeFile.open(QIODevice::WriteOnly));
    treeFile.write(QByteArray("PINE64 PinePhone\0", 17));
    treeFile.close();
    EXPECT_EQ(platform::DeviceInfo::hardwareModelFrom(tree, dmi), QStringLiteral("PINE64 PinePhone"));
    EXPECT_EQ(platform::DeviceInfo::hardwareModelFrom(dir.filePath(QStringLiteral("none")), QString()),
        QSysInfo::currentCpuArchitecture());
}

TEST(ApplicationLifecycle, NotificationsArePairedAndTerminationIsDeliveredOnce)
{
    auto& lifecycle = ApplicationLifecycle::instance();
    lifecycle.reset();
    int resign = 0, become = 0, terminate = 0;
    QObject context;
    QObject::connect(&lifecycle, &ApplicationLifecycle::willResignActive, &context, [&] { ++resign; });
    QObject::connect(&lifecycle, &ApplicationLifecycle::didBecomeActive, &context, [&] { ++become; });
    QObject::connect(&lifecycle, &ApplicationLifecycle::willTerminate, &context, [&] { ++terminate; });
    lifecycle.post(ApplicationLifecycle::Notification::DidBecomeActive); // already active
    lifecycle.post(ApplicationLifecycle::Notification::WillResignActive);
    lifecycle.post(ApplicationLifecycle::Notification::WillResignActive);
    lifecycle.post(ApplicationLifecycle::Notification::DidBecomeActive);
    lifecycle.post(ApplicationLifecycle::Notification::WillTerminate);
    lifecycle.post(ApplicationLifecycle::Notification::WillTerminate);
    EXPECT_EQ(resign, 1);
    EXPECT_EQ(become, 1);
    EXPECT_EQ(terminate, 1);
    lifecycle.reset();
}

// Focus is not background: only a hidden or suspended application, or no window left on
// screen, is.
struct PlatformState {
    const char* name;
    Qt::ApplicationState state;
    bool windowShown;
    bool windowOnScreen;
    bool visible;
};

class AppVisibility : public ::testing::TestWithParam<PlatformState> { };

TEST_P(AppVisibility, FollowsWhatTheUserCanSee)
{
    const PlatformState& p = GetParam();
    EXPECT_EQ(ApplicationLifecycle::isVisibleToUser(p.state, p.windowShown, p.windowOnScreen), p.visible);
}

INSTANTIATE_TEST_SUITE_P(States, AppVisibility,
    ::testing::Values(PlatformState { "UnfocusedWindow", Qt::ApplicationInactive, true, true, true },
        PlatformState { "AllWindowsHiddenOrMinimised", Qt::ApplicationInactive, true, false, false },
        PlatformState { "HiddenByTheShell", Qt::ApplicationHidden, true, true, false },
        PlatformState { "LaunchingBeforeAnyWindow", Qt::ApplicationInactive, false, false, true }),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ApplicationLifecycle, HidingTheWindowIsBackgroundAndShowingItIsForeground)
{
    auto& lifecycle = ApplicationLifecycle::instance();
    lifecycle.reset();
    lifecycle.attach();
    QStringList seen;
    QObject context;
    QObject::connect(
        &lifecycle, &ApplicationLifecycle::willResignActive, &context, [&] { seen << "resign"; });
    QObject::connect(&lifecycle, &ApplicationLifecycle::didBecomeActive, &context, [&] { seen << "become"; });
    auto settle = [] {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    };
    {
        QWindow window;
        window.resize(64, 64);
        window.show();
        settle();
        EXPECT_TRUE(seen.isEmpty()) << seen.join(' ').toStdString();
        // (Focus moving elsewhere, and minimising, are rows of the visibility table.)
        window.hide();
        settle();
        window.show();
        settle();
        EXPECT_EQ(seen, (QStringList { "resign", "become" }));
    }
    lifecycle.reset();
}

TEST(BackgroundTasks, ExpiryRunsTheHandlerWhichEndsTheTask)
{
    platform::BackgroundTaskId task = platform::BackgroundTasks::invalidTask;
    task = platform::BackgroundTasks::begin([&task] { platform::BackgroundTasks::end(task); });
    EXPECT_NE(task, platform::BackgroundTasks::invalidTask);
    EXPECT_EQ(platform::BackgroundTasks::activeCount(), 1);
    platform::BackgroundTasks::expireAll();
    EXPECT_EQ(platform::BackgroundTasks::activeCount(), 0);
    platform::BackgroundTasks::end(task); // ending twice is harmless
}

} // namespace
