// video_record_child FILE: records the test pattern (640×480, 30 a second) into FILE, printing
// "frames N" (N submitted) after each frame until killed or failed ("failed DISKFULL MESSAGE").
#include <atomic>
#include <cstdio>

#include <QCoreApplication>

#include "video/VideoProbe.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    std::atomic<bool> failed { false };
    platform::VideoRecorder::Settings settings;
    settings.path = arguments.value(1);
    settings.frameSize = { 640, 480 };
    auto recorder = platform::VideoRecorder::start(settings, [&](const QString& message, bool diskFull) {
        std::printf("failed %d %s\n", int(diskFull), qPrintable(message));
        std::fflush(stdout);
        failed = true;
    });
    if (!recorder)
        return std::printf("failed 0 %s\n", qPrintable(recorder.error())), 1;
    const auto report = [&](int) {
        std::printf("frames %d\n", int((*recorder)->submittedFrames()));
        std::fflush(stdout);
        return !failed;
    };
    video_test::feed(**recorder, -1, 30, report);
}
