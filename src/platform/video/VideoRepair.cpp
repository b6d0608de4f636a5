#include "platform/video/VideoRepair.h"

#include <optional>

#include <gst/gst.h>

#include <QFile>

#include "platform/camera/GstHandles.h"
#include "platform/core/Log.h"

namespace platform {

namespace {

struct Container {
    const char* demuxer;
    const char* muxer;
};

// The container the file's first bytes name; null when neither of ours. The demuxer is named, not
// found by parsebin: parsebin can drop a demuxer's error that comes while it is still setting the
// demuxer up, and the copy would then wait for its time limit.
std::optional<Container> containerOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.read(12);
    if (head.size() >= 8 && head.mid(4, 4) == "ftyp")
        return Container { "qtdemux", "mp4mux" };
    if (head.startsWith(QByteArray::fromHex("1a45dfa3")))
        return Container { "matroskademux", "webmmux" };
    return std::nullopt;
}

// Each stream the demuxer finds goes to the muxer's matching request pad.
void linkStream(GstElement*, GstPad* pad, gpointer muxer)
{
    gst::ObjectPtr<GstPad> into(gst_element_get_compatible_pad(GST_ELEMENT(muxer), pad, nullptr));
    if (!into || gst_pad_link(pad, into.get()) != GST_PAD_LINK_OK)
        log(lcCamera(), "A stream of the unfinished recording has no place in the new file: left out");
}

VideoRepair::Result failed(const QString& finished, const QString& why)
{
    QFile::remove(finished);
    return { false, why };
}

} // namespace

VideoRepair::Result VideoRepair::finish(
    const QString& leftover, const QString& finished, std::chrono::milliseconds limit)
{
    if (const QString failure = gst::initialise(); !failure.isEmpty())
        return { false, failure };
    const std::optional<Container> container = containerOf(leftover);
    if (!container)
        return { false, QStringLiteral("%1 is not an MP4 or WebM recording").arg(leftover) };

    gst::ObjectPtr<GstElement> pipeline(gst_pipeline_new("repair"));
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* parse = gst_element_factory_make(container->demuxer, nullptr);
    GstElement* muxer = gst_element_factory_make(container->muxer, nullptr);
    GstElement* sink = gst_element_factory_make("filesink", nullptr);
    if (!source || !parse || !muxer || !sink) {
        for (GstElement* made : { source, parse, muxer, sink })
            if (made)
                gst_object_unref(gst_object_ref_sink(made));
        return { false, QStringLiteral("cannot finish recordings: a GStreamer element is missing") };
    }
    g_object_set(source, "location", leftover.toUtf8().constData(), nullptr);
    g_object_set(sink, "location", finished.toUtf8().constData(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), source, parse, muxer, sink, nullptr);
    if (!gst_element_link(source, parse) || !gst_element_link(muxer, sink))
        return failed(finished, QStringLiteral("cannot build the pipeline that finishes recordings"));
    g_signal_connect(parse, "pad-added", G_CALLBACK(linkStream), muxer);

    QString error;
    gst::ObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        error = QStringLiteral("the copy would not start");
    else if (gst::MessagePtr message {
                 gst_bus_timed_pop_filtered(bus.get(), GstClockTime(limit.count()) * GST_MSECOND,
                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)) }) {
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            GError* gerror = nullptr;
            gst_message_parse_error(message.get(), &gerror, nullptr);
            error = QString::fromUtf8(gerror->message);
            g_clear_error(&gerror);
        }
    } else {
        error = QStringLiteral("not copied within %1 s").arg(limit.count() / 1000.0);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (!error.isEmpty())
        return failed(finished, QStringLiteral("cannot finish %1: %2").arg(leftover, error));
    return { true, {} };
}

} // namespace platform
