#pragma once

// Which encoders and muxer a recording uses, picked from the GStreamer elements installed: H.264 in
// fragmented MP4 where an H.264 encoder exists (the phone's hardware one first), VP8 in WebM
// otherwise; AAC or Opus for the sound. LUMIVUE_VIDEO_ENCODER names the video encoder instead
// (x264enc, openh264enc, v4l2h264enc, vp8enc, vp9enc), for tests and for a broken hardware encoder.
//
// Threads: value type; any thread (GStreamer is started on first use).

#include <QSize>
#include <QString>

#include "platform/camera/Expected.h"

typedef struct _GstElement GstElement;

namespace platform {

struct VideoEncoding {
    enum class Container { Mp4, WebM };

    QString videoEncoder; // element factory names; empty: none
    QString videoParser;
    QString audioEncoder; // empty when no encoder for the container's sound is installed
    QString audioParser;
    QString muxer;
    Container container { Container::Mp4 };

    // The file name extension, upper case as the album names files: "MP4" or "WEBM".
    QString extension() const;
    // One line for the log: "x264enc, avenc_aac in mp4mux".
    QString description() const;

    // The best choice installed here, or the one LUMIVUE_VIDEO_ENCODER names.
    static Expected<VideoEncoding> choose();
    // The encoding around the video encoder `factory`; fails when it is unknown or not installed.
    static Expected<VideoEncoding> forEncoder(const QString& factory);

    // The video encoder set up for live recording of `size` pictures at `framesPerSecond`: no
    // frame reordering (no B-frames, no look-ahead), a key frame every second so that every
    // fragment of the file starts with one, a bit rate that grows with the picture.
    GstElement* makeVideoEncoder(QSize size, double framesPerSecond) const;
    // Bit rate in bits per second for `size` at `framesPerSecond`.
    static int bitRateFor(QSize size, double framesPerSecond);
};

} // namespace platform
