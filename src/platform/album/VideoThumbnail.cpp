#include "platform/album/VideoThumbnail.h"

#include <algorithm>
#include <memory>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <QPainter>
#include <QPainterPath>

#include "platform/camera/GstHandles.h"
#include "platform/core/Log.h"

namespace platform {

namespace {

// A pipeline stopped before it goes.
struct Stopped {
    void operator()(GstElement* pipeline) const
    {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
};

} // namespace

VideoProbe probeVideo(int fd, QSize box, int timeoutMs)
{
    if (fd < 0)
        return {};
    if (const QString failure = gst::initialise(); !failure.isEmpty()) {
        log(lcAlbum(), "Album: %s", qPrintable(failure));
        return {};
    }
    // fdsrc reads the album's descriptor; the sink takes the first frame only.
    const QByteArray description = QByteArrayLiteral("fdsrc fd=") + QByteArray::number(fd)
        + " ! decodebin ! videoconvert ! videoscale"
          " ! video/x-raw,format=BGRx,pixel-aspect-ratio=1/1 ! appsink name=frame max-buffers=1 sync=false";
    GError* error = nullptr;
    std::unique_ptr<GstElement, Stopped> pipeline(gst_parse_launch(description.constData(), &error));
    if (error) {
        g_error_free(error);
        return {};
    }
    if (!pipeline)
        return {};
    const gst::ObjectPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "frame"));
    const gst::ObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
    if (gst_element_set_state(pipeline.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
        return {};
    gst::MessagePtr message(gst_bus_timed_pop_filtered(bus.get(), GstClockTime(timeoutMs) * GST_MSECOND,
        GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
    if (!message || GST_MESSAGE_TYPE(message.get()) != GST_MESSAGE_ASYNC_DONE)
        return {};
    VideoProbe probe;
    if (gint64 duration = 0;
        gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration) && duration > 0)
        probe.durationMs = duration / gint64(GST_MSECOND);
    gst::SamplePtr sample(gst_app_sink_try_pull_preroll(GST_APP_SINK(sink.get()), 0));
    GstVideoInfo info;
    GstVideoFrame frame;
    if (!sample || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()))
        || !gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample.get()), GST_MAP_READ))
        return probe;
    const QImage mapped(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
        GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
        GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32);
    probe.frame = mapped.size().boundedTo(box) == mapped.size()
        ? mapped.copy()
        : mapped.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    gst_video_frame_unmap(&frame);
    return probe;
}

QImage withPlayMark(const QImage& frame, QSize size)
{
    QImage image;
    if (frame.isNull()) {
        image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(32, 32, 32));
    } else {
        image = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    if (image.isNull())
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(image.width() / 2.0, image.height() / 2.0);
    const qreal radius = std::min(image.width(), image.height()) * 0.22;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 140));
    painter.drawEllipse(centre, radius, radius);
    // Pointing right, its middle a little right of the centre so it looks centred.
    QPainterPath triangle;
    triangle.moveTo(centre + QPointF(-0.35 * radius, -0.5 * radius));
    triangle.lineTo(centre + QPointF(0.55 * radius, 0));
    triangle.lineTo(centre + QPointF(-0.35 * radius, 0.5 * radius));
    triangle.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(triangle);
    return image;
}

} // namespace platform
