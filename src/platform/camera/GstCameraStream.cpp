#include "platform/camera/GstCameraStream.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include "platform/camera/GstHandles.h"
#include "platform/core/Log.h"

namespace platform {

namespace {

// A picture's buffer, mapped for as long as a QImage shows it.
struct MappedFrame {
    gst::SamplePtr sample;
    GstVideoFrame frame {};
};

void releaseFrame(void* info)
{
    std::unique_ptr<MappedFrame> mapped(static_cast<MappedFrame*>(info));
    gst_video_frame_unmap(&mapped->frame);
}

QImage imageOf(gst::SamplePtr sample)
{
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())))
        return {};
    auto mapped = std::make_unique<MappedFrame>();
    if (!gst_video_frame_map(&mapped->frame, &info, gst_sample_get_buffer(sample.get()), GST_MAP_READ))
        return {};
    mapped->sample = std::move(sample);
    const GstVideoFrame& frame = mapped->frame;
    // BGRA with opaque alpha is premultiplied BGRA as it stands.
    QImage image(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
        GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
        GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_ARGB32_Premultiplied, releaseFrame,
        mapped.get());
    mapped.release(); // the image owns it now
    return image;
}

const char* directionFor(int turn)
{
    switch (turn) {
    case 90:
        return "90l";
    case 180:
        return "180";
    case 270:
        return "90r";
    default:
        return nullptr;
    }
}

GstElement* make(const char* factory, const char* name)
{
    GstElement* element = gst_element_factory_make(factory, name);
    if (!element)
        log(lcCamera(), "Camera: the GStreamer element %s is missing (install its plugins)", factory);
    return element;
}

} // namespace

QString GstCameraStream::capsFor(const CameraMode& mode)
{
    if (mode.isJpeg())
        return QStringLiteral("image/jpeg,width=%1,height=%2").arg(mode.size.width()).arg(mode.size.height());
    return QStringLiteral("video/x-raw,format=%1,width=%2,height=%3")
        .arg(mode.format)
        .arg(mode.size.width())
        .arg(mode.size.height());
}

GstElement* GstCameraStream::makeConversion(const CameraMode& mode, int turn)
{
    GstElement* bin = gst_bin_new("convert");
    GstElement* decoder = mode.isJpeg() ? make("jpegdec", "decode") : nullptr;
    GstElement* convert = make("videoconvert", "colours");
    const char* direction = directionFor(turn);
    GstElement* flip = direction ? make("videoflip", "turn") : nullptr;
    GstElement* bgra = make("capsfilter", "bgra");
    if ((mode.isJpeg() && !decoder) || !convert || (direction && !flip) || !bgra) {
        for (GstElement* element : { decoder, convert, flip, bgra })
            if (element)
                gst_object_unref(element);
        gst_object_unref(bin);
        return nullptr;
    }
    if (flip)
        gst_util_set_object_arg(G_OBJECT(flip), "video-direction", direction);
    gst::CapsPtr caps(gst_caps_from_string("video/x-raw,format=BGRA"));
    g_object_set(bgra, "caps", caps.get(), nullptr);

    GstElement* chain[4];
    int count = 0;
    for (GstElement* element : { decoder, convert, flip, bgra }) {
        if (element) {
            gst_bin_add(GST_BIN(bin), element);
            chain[count++] = element;
        }
    }
    for (int i = 0; i + 1 < count; ++i)
        gst_element_link(chain[i], chain[i + 1]);
    gst::ObjectPtr<GstPad> sink(gst_element_get_static_pad(chain[0], "sink"));
    gst::ObjectPtr<GstPad> source(gst_element_get_static_pad(chain[count - 1], "src"));
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", sink.get()));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", source.get()));
    return bin;
}

GstCameraStream::GstCameraStream(CameraMode mode, FrameObserver observer)
    : m_mode(std::move(mode))
    , m_observer(std::move(observer))
{
}

Expected<std::unique_ptr<GstCameraStream>> GstCameraStream::open(
    const CameraInfo& camera, const CameraMode& mode, int turn, FrameObserver observer)
{
    using Result = Expected<std::unique_ptr<GstCameraStream>>;
    if (const QString failure = gst::initialise(); !failure.isEmpty())
        return Result::failure(failure);
    if (!camera.device)
        return Result::failure(QStringLiteral("the camera is gone"));
    auto stream = std::make_unique<GstCameraStream>(mode, std::move(observer));
    stream->m_pipeline = gst_pipeline_new("camera");
    gst_object_ref_sink(stream->m_pipeline);

    GstElement* source = gst_device_create_element(camera.device.get(), "source");
    GstElement* wanted = make("capsfilter", "mode");
    GstElement* conversion = makeConversion(mode, turn);
    GstElement* sink = make("appsink", "newest");
    if (!source || !wanted || !conversion || !sink) {
        for (GstElement* element : { source, wanted, conversion, sink })
            if (element)
                gst_object_unref(gst_object_ref_sink(element));
        return Result::failure(QStringLiteral("GStreamer lacks an element for this camera (see the log)"));
    }
    gst::CapsPtr caps(gst_caps_from_string(capsFor(mode).toUtf8().constData()));
    g_object_set(wanted, "caps", caps.get(), nullptr);
    // Only the newest picture matters: older ones are dropped, never queued.
    g_object_set(sink, "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "enable-last-sample", FALSE, nullptr);
    GstAppSinkCallbacks callbacks {};
    callbacks.new_sample = [](GstAppSink* appSink, gpointer self) -> GstFlowReturn {
        static_cast<GstCameraStream*>(self)->receive(appSink);
        return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, stream.get(), nullptr);

    gst_bin_add_many(GST_BIN(stream->m_pipeline), source, wanted, conversion, sink, nullptr);
    if (!gst_element_link_many(source, wanted, conversion, sink, nullptr))
        return Result::failure(QStringLiteral("the camera does not offer %1").arg(capsFor(mode)));
    // A camera that refuses to start (busy, gone) says why on the bus, where failure() reads it.
    gst_element_set_state(stream->m_pipeline, GST_STATE_PLAYING);
    return stream;
}

GstCameraStream::~GstCameraStream()
{
    if (!m_pipeline)
        return;
    // Stops the streaming threads: no callback runs after this.
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    gst_object_unref(m_pipeline);
}

void GstCameraStream::receive(GstAppSink* sink)
{
    gst::SamplePtr sample(gst_app_sink_pull_sample(sink));
    if (!sample)
        return;
    QImage image = imageOf(std::move(sample));
    if (image.isNull())
        return;
    if (m_observer)
        m_observer(image);
    {
        std::scoped_lock lock(m_mutex);
        m_newest = std::move(image);
        ++m_number;
    }
    m_arrived.notify_all();
}

std::pair<QImage, std::uint64_t> GstCameraStream::newest() const
{
    std::scoped_lock lock(m_mutex);
    return { m_newest, m_number };
}

bool GstCameraStream::waitForFrame(std::uint64_t after, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, timeout, [&] { return m_number > after; });
}

std::optional<GstCameraStream::Failure> GstCameraStream::failure()
{
    gst::ObjectPtr<GstBus> bus(gst_element_get_bus(m_pipeline));
    while (gst::MessagePtr message {
        gst_bus_pop_filtered(bus.get(), GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS)) }) {
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS)
            return Failure { QStringLiteral("the camera ended its stream"), false };
        GError* error = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message.get(), &error, &debug);
        Failure failure { QString::fromUtf8(error ? error->message : "unknown error"), false };
        // v4l2src says so with its error code; PipeWire passes the device's "busy" on as text.
        failure.busy
            = (error && error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_BUSY)
            || failure.reason.contains(QLatin1String("busy"), Qt::CaseInsensitive);
        if (debug)
            log(lcCamera(), "Camera: GStreamer says: %s", debug);
        g_clear_error(&error);
        g_free(debug);
        return failure;
    }
    return std::nullopt;
}

} // namespace platform
