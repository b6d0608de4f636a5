// video_record_child FILE [COPY]: records the test pattern (640×480, 30 frames a second) into FILE,
// printing "frames N" (N submitted so far) after each frame, until it is killed or the recording
// fails. The still pattern encodes to a few kilobytes a second, less than a write buffer would hold.
// With COPY the pattern carries noise (a few hundred kilobytes a second, to fill a disk), and on a
// failure the child copies what FILE holds to COPY (the disk-full test's FILE lies in a file system
// only this process sees). A failure prints "failed DISKFULL MESSAGE".
#include <atomic>
#include <cstdio>

#include <QCoreApplication>
#include <QFile>

#include "video/VideoPattern.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString copy = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    std::atomic<bool> failed { false };
    platform::VideoRecorder::Settings settings;
    settings.path = QString::fromLocal8Bit(argv[1]);
    settings.frameSize = { 640, 480 };
    auto recorder = platform::VideoRecorder::start(settings, [&](const QString& message, bool diskFull) {
        if (!copy.isEmpty())
            QFile::copy(settings.path, copy);
        std::printf("failed %d %s\n", int(diskFull), qPrintable(message));
        std::fflush(stdout);
        failed = true;
    });
    if (!recorder) {
        std::printf("failed 0 %s\n", qPrintable(recorder.error()));
        return 1;
    }
    video_test::feed(
        **recorder, -1, 30,
        [&](int) {
            std::printf("frames %d\n", int((*recorder)->submittedFrames()));
            std::fflush(stdout);
            return !failed;
        },
        !copy.isEmpty());
    return 0;
}
