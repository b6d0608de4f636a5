#pragma once

// Small test videos made with the GStreamer command line: one colour (a videotestsrc pattern
// such as "red" or "blue"), H.264 in MP4 or VP8 in WebM.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace testing_support {

inline bool makeTestVideo(const QString& path, const QString& pattern, bool webm = false, int frames = 10)
{
    const QString encoder = webm ? QStringLiteral("vp8enc ! webmmux") : QStringLiteral("x264enc ! mp4mux");
    const QString pipeline = QStringLiteral(
        "videotestsrc pattern=%1 num-buffers=%2 ! video/x-raw,width=320,height=240,framerate=10/1"
        " ! %3 ! filesink location=%4")
                                 .arg(pattern)
                                 .arg(frames)
                                 .arg(encoder, path);
    QProcess gst;
    gst.start(QStringLiteral("gst-launch-1.0"),
        QStringList { QStringLiteral("-q") } + pipeline.split(QLatin1Char(' ')));
    return gst.waitForFinished(60000) && gst.exitStatus() == QProcess::NormalExit && gst.exitCode() == 0;
}

} // namespace testing_support
