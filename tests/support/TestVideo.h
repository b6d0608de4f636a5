#pragma once

// Small test videos made with GStreamer in the test's own process (so they are made under an
// emulator too): one colour (a videotestsrc pattern such as "red" or "blue"), H.264 in MP4 or VP8
// in WebM.

#include <gst/gst.h>

#include <QString>

namespace testing_support {

inline bool makeTestVideo(const QString& path, const QString& pattern, bool webm = false, int frames = 10)
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    const QString description
        = QStringLiteral(
            "videotestsrc pattern=%1 num-buffers=%2 ! video/x-raw,width=320,height=240,framerate=10/1"
            " ! %3 ! filesink name=out")
              .arg(pattern)
              .arg(frames)
              .arg(webm ? QStringLiteral("vp8enc ! webmmux") : QStringLiteral("x264enc ! mp4mux"));
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), nullptr);
    if (!pipeline)
        return false;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    g_object_set(sink, "location", path.toUtf8().constData(), nullptr);
    gst_object_unref(sink);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* end = gst_bus_timed_pop_filtered(
        bus, 120 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool made = end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
    if (end)
        gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return made;
}

} // namespace testing_support
