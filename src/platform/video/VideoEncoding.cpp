#include "platform/video/VideoEncoding.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <gst/gst.h>

#include <QStringList>

#include "platform/camera/GstHandles.h"

namespace platform {

namespace {

struct KnownEncoder {
    const char* factory;
    VideoEncoding::Container container;
};

// In order of preference.
constexpr std::array knownEncoders { KnownEncoder { "v4l2h264enc", VideoEncoding::Container::Mp4 },
    KnownEncoder { "x264enc", VideoEncoding::Container::Mp4 },
    KnownEncoder { "openh264enc", VideoEncoding::Container::Mp4 },
    KnownEncoder { "vp8enc", VideoEncoding::Container::WebM },
    KnownEncoder { "vp9enc", VideoEncoding::Container::WebM } };

bool installed(const char* factory)
{
    gst::ObjectPtr<GstElementFactory> found(gst_element_factory_find(factory));
    return found != nullptr;
}

QString firstInstalled(std::initializer_list<const char*> factories)
{
    for (const char* factory : factories)
        if (installed(factory))
            return QLatin1String(factory);
    return {};
}

VideoEncoding encodingFor(const KnownEncoder& known)
{
    VideoEncoding encoding;
    encoding.videoEncoder = QLatin1String(known.factory);
    encoding.container = known.container;
    if (known.container == VideoEncoding::Container::Mp4) {
        encoding.videoParser = QStringLiteral("h264parse");
        encoding.audioEncoder = firstInstalled({ "avenc_aac", "voaacenc" });
        encoding.audioParser = QStringLiteral("aacparse");
        encoding.muxer = QStringLiteral("mp4mux");
    } else {
        encoding.audioEncoder = firstInstalled({ "opusenc" });
        encoding.muxer = QStringLiteral("webmmux");
    }
    return encoding;
}

} // namespace

QString VideoEncoding::extension() const
{
    return container == Container::Mp4 ? QStringLiteral("MP4") : QStringLiteral("WEBM");
}

QString VideoEncoding::description() const
{
    const QString sound = audioEncoder.isEmpty() ? QStringLiteral("no sound encoder") : audioEncoder;
    return QStringLiteral("%1, %2 in %3").arg(videoEncoder, sound, muxer);
}

Expected<VideoEncoding> VideoEncoding::forEncoder(const QString& factory)
{
    if (const QString failure = gst::initialise(); !failure.isEmpty())
        return Expected<VideoEncoding>::failure(failure);
    const auto known = std::find_if(knownEncoders.begin(), knownEncoders.end(),
        [&](const KnownEncoder& k) { return factory == QLatin1String(k.factory); });
    if (known == knownEncoders.end()) {
        QStringList names;
        for (const KnownEncoder& k : knownEncoders)
            names << QLatin1String(k.factory);
        return Expected<VideoEncoding>::failure(
            QStringLiteral("unknown video encoder \"%1\" (known: %2)").arg(factory, names.join(u", ")));
    }
    const VideoEncoding encoding = encodingFor(*known);
    for (const QString& needed : { encoding.videoEncoder, encoding.videoParser, encoding.muxer })
        if (!needed.isEmpty() && !installed(needed.toUtf8().constData()))
            return Expected<VideoEncoding>::failure(
                QStringLiteral("video encoder \"%1\" needs the GStreamer element %2, which is not installed")
                    .arg(factory, needed));
    return encoding;
}

Expected<VideoEncoding> VideoEncoding::choose()
{
    const QString forced = qEnvironmentVariable("LUMIVUE_VIDEO_ENCODER");
    if (!forced.isEmpty()) {
        auto encoding = forEncoder(forced);
        if (!encoding)
            return Expected<VideoEncoding>::failure(
                QStringLiteral("LUMIVUE_VIDEO_ENCODER: ") + encoding.error());
        return encoding;
    }
    for (const KnownEncoder& known : knownEncoders)
        if (auto encoding = forEncoder(QLatin1String(known.factory)))
            return encoding;
    return Expected<VideoEncoding>::failure(
        QStringLiteral("no video encoder installed (x264enc, openh264enc or vp8enc are needed)"));
}

int VideoEncoding::bitRateFor(QSize size, double framesPerSecond)
{
    // 0.1 bit a pixel at 30 frames a second: 2.8 Mbit/s at 1280×720, 6.2 at 1920×1080. Slower
    // cameras get less, but not in proportion: each frame then carries more change.
    const double pixels = double(size.width()) * size.height();
    const double rate = pixels * 0.1 * std::sqrt(std::clamp(framesPerSecond, 5.0, 60.0) * 30.0);
    return std::max(200'000, int(rate));
}

GstElement* VideoEncoding::makeVideoEncoder(QSize size, double framesPerSecond) const
{
    GstElement* encoder = gst_element_factory_make(videoEncoder.toUtf8().constData(), "videoencoder");
    if (!encoder)
        return nullptr;
    const int bitRate = bitRateFor(size, framesPerSecond);
    const int keyInterval = std::max(1, int(std::lround(framesPerSecond)));
    if (videoEncoder == QLatin1String("x264enc")) {
        // superfast keeps 1920×1080 at 30 frames a second within one core of a laptop; zerolatency
        // drops B-frames and look-ahead, so no frames wait inside the encoder.
        gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "superfast");
        gst_util_set_object_arg(G_OBJECT(encoder), "tune", "zerolatency");
        g_object_set(encoder, "bitrate", guint(bitRate / 1000), "key-int-max", guint(keyInterval), nullptr);
    } else if (videoEncoder == QLatin1String("openh264enc")) {
        gst_util_set_object_arg(G_OBJECT(encoder), "complexity", "low");
        gst_util_set_object_arg(G_OBJECT(encoder), "rate-control", "bitrate");
        g_object_set(encoder, "bitrate", guint(bitRate), "gop-size", guint(keyInterval), nullptr);
    } else if (videoEncoder == QLatin1String("v4l2h264enc")) {
        gst::StructurePtr controls(gst_structure_new("controls", "video_bitrate", G_TYPE_INT, bitRate,
            "h264_i_frame_period", G_TYPE_INT, keyInterval, nullptr));
        g_object_set(encoder, "extra-controls", controls.get(), nullptr);
    } else {
        // vp8enc and vp9enc: real-time deadline, nothing held back for alternate reference frames.
        // One thread: with two on a busy core, vp8enc spins waiting for the other, ten times slower.
        g_object_set(encoder, "deadline", gint64(1), "cpu-used", 8, "lag-in-frames", 0, "target-bitrate",
            bitRate, "keyframe-max-dist", keyInterval, "threads", 1, nullptr);
        gst_util_set_object_arg(G_OBJECT(encoder), "end-usage", "cbr");
    }
    return encoder;
}

} // namespace platform
