#include "platform/video/VideoRecorder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <QFileInfo>

#include "platform/camera/GstHandles.h"
#include "platform/core/Log.h"
#include "platform/video/Microphone.h"
#include "platform/video/VideoFramePool.h"

namespace platform {

namespace {

// Frames lent at once: enough to ride out an encoder hiccup of a few frames, few enough that a
// 1920×1080 recording holds no more than 50 MB.
constexpr int poolCapacity = 6;
constexpr QSize largest { 1920, 1080 };

// A submitted frame's way back to the pool once GStreamer lets go of its buffer.
struct Lent {
    std::shared_ptr<VideoFramePool> pool;
    int slot;
};

void giveBack(gpointer data)
{
    std::unique_ptr<Lent> lent(static_cast<Lent*>(data));
    lent->pool->giveBack(lent->slot);
}

const char* flipFor(int rotation)
{
    switch (rotation) {
    case 90:
        return "90r";
    case 180:
        return "180";
    case 270:
        return "90l";
    default:
        return "identity";
    }
}

GstElement* make(const char* factory, const char* name = nullptr)
{
    return gst_element_factory_make(factory, name);
}

GstElement* make(const QString& factory, const char* name = nullptr)
{
    return factory.isEmpty() ? nullptr : make(factory.toUtf8().constData(), name);
}

// Releases an element nothing has taken.
void dropUnowned(GstElement* element)
{
    if (element && !GST_OBJECT_PARENT(element))
        gst_object_unref(gst_object_ref_sink(element));
}

// Adds every element not yet in `bin` to it and links them in order; false (the elements then
// belong to the bin or are released) when one is missing or a link fails.
bool addChain(GstBin* bin, std::initializer_list<GstElement*> chain)
{
    bool complete = true;
    for (GstElement* element : chain)
        complete = complete && element;
    for (GstElement* element : chain)
        if (!complete)
            dropUnowned(element);
        else if (!GST_OBJECT_PARENT(element))
            gst_bin_add(bin, element);
    if (!complete)
        return false;
    GstElement* previous = nullptr;
    for (GstElement* element : chain) {
        if (previous && !gst_element_link(previous, element))
            return false;
        previous = element;
    }
    return true;
}

std::int64_t runningTimeNs(GstElement* pipeline)
{
    gst::ObjectPtr<GstClock> clock(gst_element_get_clock(pipeline));
    if (!clock)
        return -1;
    const GstClockTime now = gst_clock_get_time(clock.get());
    const GstClockTime base = gst_element_get_base_time(pipeline);
    return now >= base ? std::int64_t(now - base) : -1;
}

bool isNoSpace(GError* error, const gchar* debug)
{
    if (error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_NO_SPACE_LEFT)
        return true;
    const char* noSpace = std::strerror(ENOSPC);
    return std::strstr(error->message, noSpace) || (debug && std::strstr(debug, noSpace));
}

} // namespace

VideoRecorder::Frame::Frame(
    std::shared_ptr<VideoFramePool> pool, int slot, uchar* data, int stride, QSize size)
    : m_pool(std::move(pool))
    , m_slot(slot)
    , m_data(data)
    , m_stride(stride)
    , m_size(size)
{
}

VideoRecorder::Frame::Frame(Frame&& other) noexcept
    : m_pool(std::move(other.m_pool))
    , m_slot(std::exchange(other.m_slot, -1))
    , m_data(std::exchange(other.m_data, nullptr))
    , m_stride(other.m_stride)
    , m_size(other.m_size)
{
}

VideoRecorder::Frame& VideoRecorder::Frame::operator=(Frame&& other) noexcept
{
    if (this != &other) {
        if (m_pool && m_slot >= 0)
            m_pool->giveBack(m_slot);
        m_pool = std::move(other.m_pool);
        m_slot = std::exchange(other.m_slot, -1);
        m_data = std::exchange(other.m_data, nullptr);
        m_stride = other.m_stride;
        m_size = other.m_size;
    }
    return *this;
}

VideoRecorder::Frame::~Frame()
{
    if (m_pool && m_slot >= 0)
        m_pool->giveBack(m_slot);
}

QImage VideoRecorder::Frame::image() const
{
    return QImage(m_data, m_size.width(), m_size.height(), m_stride, QImage::Format_ARGB32);
}

QSize VideoRecorder::outputSizeFor(QSize frameSize, int rotation)
{
    const QSize upright = rotation == 90 || rotation == 270 ? frameSize.transposed() : frameSize;
    const QSize box = upright.width() >= upright.height() ? largest : largest.transposed();
    const double scale
        = std::min({ 1.0, double(box.width()) / upright.width(), double(box.height()) / upright.height() });
    const auto even = [](double side) { return std::max(2, int(std::lround(side)) & ~1); };
    return { even(upright.width() * scale), even(upright.height() * scale) };
}

VideoRecorder::VideoRecorder(Settings settings)
    : m_settings(std::move(settings))
    , m_pool(std::make_shared<VideoFramePool>(m_settings.frameSize, poolCapacity))
{
}

Expected<std::unique_ptr<VideoRecorder>> VideoRecorder::start(Settings settings, FailureHandler onFailure)
{
    using Failure = Expected<std::unique_ptr<VideoRecorder>>;
    if (const QString failure = gst::initialise(); !failure.isEmpty())
        return Failure::failure(failure);
    settings.rotation = (settings.rotation % 360 + 360) % 360; // -90 is 270
    if (settings.frameSize.width() < 2 || settings.frameSize.height() < 2 || settings.framesPerSecond <= 0
        || settings.rotation % 90 != 0)
        return Failure::failure(QStringLiteral("cannot record frames of %1×%2 at %3 a second turned %4°")
                                    .arg(settings.frameSize.width())
                                    .arg(settings.frameSize.height())
                                    .arg(settings.framesPerSecond)
                                    .arg(settings.rotation));
    if (!settings.encoding) {
        auto chosen = VideoEncoding::choose();
        if (!chosen)
            return Failure::failure(chosen.error());
        settings.encoding = *chosen;
    }
    if (!settings.creationTime.isValid())
        settings.creationTime = QDateTime::currentDateTime();

    for (bool withSound : { settings.withSound, false }) {
        Settings attempt = settings;
        attempt.withSound = withSound;
        auto recorder = std::make_unique<VideoRecorder>(std::move(attempt));
        recorder->m_onFailure = onFailure;
        if (const QString failure = recorder->build(); !failure.isEmpty())
            return Failure::failure(failure);
        if (gst_element_set_state(recorder->m_pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
            log(lcCamera(), "Recording %dx%d at %.3g frames a second with %s into %s",
                recorder->outputSize().width(), recorder->outputSize().height(),
                recorder->m_settings.framesPerSecond, qPrintable(recorder->encoding().description()),
                qPrintable(recorder->m_settings.path));
            recorder->m_busThread = std::thread([raw = recorder.get()] { raw->watchBus(); });
            return recorder;
        }
        // Why it would not start is on the bus.
        QString reason = QStringLiteral("the recording pipeline would not start");
        bool fromSound = false;
        gst::ObjectPtr<GstBus> bus(gst_element_get_bus(recorder->m_pipeline));
        if (gst::MessagePtr message { gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR) }) {
            GError* error = nullptr;
            gst_message_parse_error(message.get(), &error, nullptr);
            reason = QString::fromUtf8(error->message);
            g_clear_error(&error);
            fromSound = recorder->hasSound()
                && gst_object_has_as_ancestor(
                    GST_MESSAGE_SRC(message.get()), GST_OBJECT(recorder->m_audioBranch));
        }
        gst_element_set_state(recorder->m_pipeline, GST_STATE_NULL);
        if (!fromSound)
            return Failure::failure(
                QStringLiteral("cannot record into %1: %2").arg(recorder->m_settings.path, reason));
        log(lcCamera(), "The microphone would not start (%s): recording without sound", qPrintable(reason));
    }
    return Failure::failure(QStringLiteral("the recording pipeline would not start"));
}

QString VideoRecorder::build()
{
    const VideoEncoding& encoding = m_settings.encoding.value();
    const QSize size = m_settings.frameSize;
    const QSize output = outputSize();
    m_pipeline = gst_pipeline_new("recorder");
    GstBin* bin = GST_BIN(m_pipeline);

    m_source = make("appsrc", "frames");
    GstElement* muxer = make(encoding.muxer, "muxer");
    GstElement* encoder = encoding.makeVideoEncoder(output, m_settings.framesPerSecond);
    GstElement* flip = make("videoflip");
    GstElement* encoded = make("capsfilter");
    if (m_source && flip) {
        gint fpsNumerator = 0, fpsDenominator = 1;
        gst_util_double_to_fraction(m_settings.framesPerSecond, &fpsNumerator, &fpsDenominator);
        gst::CapsPtr caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRA", "width",
            G_TYPE_INT, size.width(), "height", G_TYPE_INT, size.height(), "framerate", GST_TYPE_FRACTION,
            fpsNumerator, fpsDenominator, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
        g_object_set(m_source, "caps", caps.get(), "is-live", TRUE, "do-timestamp", TRUE, "format",
            GST_FORMAT_TIME, nullptr);
        gst_util_set_object_arg(G_OBJECT(flip), "video-direction", flipFor(m_settings.rotation));
        gst::CapsPtr raw(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width",
            G_TYPE_INT, output.width(), "height", G_TYPE_INT, output.height(), "pixel-aspect-ratio",
            GST_TYPE_FRACTION, 1, 1, nullptr));
        if (encoded)
            g_object_set(encoded, "caps", raw.get(), nullptr);
    }
    if (muxer && encoding.container == VideoEncoding::Container::Mp4)
        // Fragments of a second: a kill loses at most the last one.
        g_object_set(muxer, "fragment-duration", guint(1000), nullptr);
    GstElement* sink = make("filesink", "file");
    if (sink) {
        g_object_set(sink, "location", m_settings.path.toUtf8().constData(), "async", FALSE, nullptr);
        // Each fragment goes to the file as the muxer finishes it, not into a buffer a kill loses.
        gst_util_set_object_arg(G_OBJECT(sink), "buffer-mode", "unbuffered");
    }
    GstElement* queue = make("queue");
    if (queue)
        // The pool bounds what waits here.
        g_object_set(
            queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time", guint64(0), nullptr);

    // Encoded pictures wait here while the muxer waits for the first sound (the microphone and
    // the sound encoder starting), instead of holding up the encoder and running the pool dry.
    GstElement* waiting = make("queue");
    if (waiting)
        g_object_set(waiting, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
            guint64(5 * GST_SECOND), nullptr);
    const bool built = addChain(bin,
        { m_source, queue, flip, make("videoscale"), make("videoconvert"), encoded, encoder,
            encoding.videoParser.isEmpty() ? make("identity") : make(encoding.videoParser), waiting, muxer,
            sink });
    if (!built)
        return QStringLiteral("cannot build the recording pipeline for %1 (a GStreamer element is missing)")
            .arg(encoding.description());
    setMetadata(muxer);
    if (m_settings.withSound)
        addSound(muxer);
    return {};
}

bool VideoRecorder::addSound(GstElement* muxer)
{
    const VideoEncoding& encoding = m_settings.encoding.value();
    if (encoding.audioEncoder.isEmpty()) {
        log(lcCamera(), "No sound encoder for %s installed: recording without sound",
            qPrintable(encoding.muxer));
        return false;
    }
    QString name;
    GstElement* microphone = Microphone::makeDefaultSource(&name);
    if (!microphone) {
        log(lcCamera(), "No microphone: recording without sound");
        return false;
    }
    // The microphone is mixed over silence: the sound track runs from the first picture to the
    // last whether the microphone starts late, never gives sound, or goes away. (An MP4 whose
    // sound track has no sound at all cannot be played.)
    GstElement* branch = gst_bin_new("sound");
    GstElement* silence = make("audiotestsrc", "silence");
    GstElement* mixer = make("audiomixer");
    GstElement* format = make("capsfilter");
    if (silence && mixer && format) {
        gst_util_set_object_arg(G_OBJECT(silence), "wave", "silence");
        g_object_set(silence, "is-live", TRUE, nullptr);
        // Sound that comes a little late (a busy microphone thread) is still mixed in.
        g_object_set(mixer, "latency", guint64(100 * GST_MSECOND), nullptr);
        gst::CapsPtr caps(gst_caps_from_string("audio/x-raw,rate=48000,channels=2"));
        g_object_set(format, "caps", caps.get(), nullptr);
    }
    GstElement* parser = make(encoding.audioParser);
    GstElement* encoder = make(encoding.audioEncoder);
    const bool built = addChain(GST_BIN(branch),
                           { microphone, make("queue"), make("audioconvert"), make("audioresample"), mixer })
        && addChain(GST_BIN(branch), { silence, mixer })
        && (parser ? addChain(GST_BIN(branch), { mixer, format, make("audioconvert"), encoder, parser })
                   : addChain(GST_BIN(branch), { mixer, format, make("audioconvert"), encoder }));
    if (built) {
        gst::ObjectPtr<GstPad> out(gst_element_get_static_pad(parser ? parser : encoder, "src"));
        gst_element_add_pad(branch, gst_ghost_pad_new("src", out.get()));
        gst_bin_add(GST_BIN(m_pipeline), branch);
        if (gst_element_link(branch, muxer)) {
            m_audioBranch = branch;
            log(lcCamera(), "Recording sound from %s", qPrintable(name));
            return true;
        }
        gst_bin_remove(GST_BIN(m_pipeline), branch);
    } else {
        for (GstElement* element : { microphone, silence, mixer, format, parser, encoder })
            dropUnowned(element);
        gst_object_unref(gst_object_ref_sink(branch));
    }
    log(lcCamera(), "Sound from %s cannot be encoded with %s: recording without sound", qPrintable(name),
        qPrintable(encoding.audioEncoder));
    return false;
}

void VideoRecorder::setMetadata(GstElement* muxer)
{
    if (!GST_IS_TAG_SETTER(muxer))
        return;
    const QDateTime& when = m_settings.creationTime;
    const QDate date = when.date();
    const QTime time = when.time();
    GstDateTime* dateTime = gst_date_time_new(when.offsetFromUtc() / 3600.0, date.year(), date.month(),
        date.day(), time.hour(), time.minute(), time.second() + time.msec() / 1000.0);
    GstTagSetter* tags = GST_TAG_SETTER(muxer);
    // MP4 keeps only a date (its creation time is when the file was begun); WebM the date and time.
    GDate* day = g_date_new_dmy(GDateDay(date.day()), GDateMonth(date.month()), GDateYear(date.year()));
    gst_tag_setter_add_tags(
        tags, GST_TAG_MERGE_REPLACE, GST_TAG_DATE_TIME, dateTime, GST_TAG_DATE, day, nullptr);
    g_date_free(day);
    gst_date_time_unref(dateTime);
    if (const auto& position = m_settings.position) {
        gst_tag_setter_add_tags(tags, GST_TAG_MERGE_REPLACE, GST_TAG_GEO_LOCATION_LATITUDE,
            position->latitude, GST_TAG_GEO_LOCATION_LONGITUDE, position->longitude, nullptr);
        if (position->altitude)
            gst_tag_setter_add_tags(
                tags, GST_TAG_MERGE_REPLACE, GST_TAG_GEO_LOCATION_ELEVATION, *position->altitude, nullptr);
    }
}

VideoRecorder::~VideoRecorder()
{
    m_accepting = false;
    m_watching = false;
    if (m_busThread.joinable())
        m_busThread.join();
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
    }
}

std::optional<VideoRecorder::Frame> VideoRecorder::acquireFrame()
{
    const int slot = m_accepting ? m_pool->take() : -1;
    if (slot < 0) {
        ++m_dropped;
        return std::nullopt;
    }
    return Frame(m_pool, slot, m_pool->data(slot), m_pool->stride(), m_pool->size());
}

void VideoRecorder::submit(Frame&& frame)
{
    Frame taken(std::move(frame));
    if (!taken.m_data || taken.m_pool != m_pool || !m_accepting) {
        ++m_dropped;
        return;
    }
    // A frame's time is when it arrived, moved onto the grid of the frame rate: the file has a
    // constant rate (players and editors read it; MP4 keeps only the times), and picture and
    // sound stay within a frame of each other. A frame whose place is taken goes to the next
    // one, at most a frame ahead of its arrival; beyond that it is one too many for the rate.
    const double period = GST_SECOND / m_settings.framesPerSecond;
    const std::int64_t now = runningTimeNs(m_pipeline);
    std::int64_t time = now;
    if (const std::int64_t first = m_firstFrameNs; now >= 0 && first >= 0) {
        time = first + std::llround(std::llround((now - first) / period) * period);
        if (const std::int64_t last = m_lastFrameNs; time <= last)
            time = last + std::llround(period);
        if (time > now + std::llround(period)) {
            ++m_dropped;
            return;
        }
    }
    GstBuffer* buffer = gst_buffer_new_wrapped_full(GstMemoryFlags(0), taken.m_data, m_pool->bytes(), 0,
        m_pool->bytes(), new Lent { m_pool, taken.m_slot }, giveBack);
    taken.m_slot = -1; // the buffer gives it back
    if (time >= 0) {
        GST_BUFFER_PTS(buffer) = GstClockTime(time);
        GST_BUFFER_DURATION(buffer) = GstClockTime(std::llround(period));
        if (m_firstFrameNs < 0)
            m_firstFrameNs = time;
        m_lastFrameNs = time;
    }
    if (gst_app_src_push_buffer(GST_APP_SRC(m_source), buffer) == GST_FLOW_OK)
        ++m_submitted;
    else
        ++m_dropped;
}

VideoRecorder::Result VideoRecorder::stop(std::chrono::milliseconds limit)
{
    {
        std::scoped_lock lock(m_mutex);
        if (m_result)
            return *m_result;
    }
    m_accepting = false;
    gst_app_src_end_of_stream(GST_APP_SRC(m_source));
    // The muxer ends the file once every stream has ended: the sound's too.
    endSound();
    if (m_audioBranch)
        if (gst::ObjectPtr<GstElement> silence { gst_bin_get_by_name(GST_BIN(m_audioBranch), "silence") })
            gst_element_send_event(silence.get(), gst_event_new_eos());
    Result result;
    {
        std::unique_lock lock(m_mutex);
        const bool finished = m_changed.wait_for(lock, limit, [&] { return m_ended || m_failed; });
        result.ok = m_ended && !m_failed;
        result.diskFull = m_diskFull;
        result.error = m_failed ? m_error
            : finished          ? QString()
                                : QStringLiteral("the end of the recording was not written within %1 s")
                             .arg(limit.count() / 1000.0);
    }
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    result.hasSound = hasSound();
    result.frames = m_submitted;
    result.dropped = m_dropped;
    const std::int64_t first = m_firstFrameNs, last = m_lastFrameNs;
    if (first >= 0)
        result.duration = std::chrono::milliseconds(
            std::llround((last - first) / 1e6 + 1000.0 / m_settings.framesPerSecond));
    result.fileSize = QFileInfo(m_settings.path).size();
    log(lcCamera(), "Recording %s: %llu frames (%llu dropped), %lld ms, %lld bytes%s%s",
        result.ok ? "saved" : "ended", static_cast<unsigned long long>(result.frames),
        static_cast<unsigned long long>(result.dropped), static_cast<long long>(result.duration.count()),
        static_cast<long long>(result.fileSize), result.ok ? "" : ": ", qPrintable(result.error));
    std::scoped_lock lock(m_mutex);
    m_result = result;
    return result;
}

void VideoRecorder::watchBus()
{
    gst::ObjectPtr<GstBus> bus(gst_element_get_bus(m_pipeline));
    // A pipeline set to NULL flushes its bus: a message telling this loop to end could be lost.
    while (m_watching) {
        gst::MessagePtr message(gst_bus_timed_pop_filtered(
            bus.get(), 100 * GST_MSECOND, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
        if (!message)
            continue;
        switch (GST_MESSAGE_TYPE(message.get())) {
        case GST_MESSAGE_EOS: {
            std::scoped_lock lock(m_mutex);
            m_ended = true;
            m_changed.notify_all();
            break;
        }
        default:
            handleError(message.get());
            break;
        }
    }
}

void VideoRecorder::handleError(GstMessage* message)
{
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    const QString text = QString::fromUtf8(error->message);
    const bool diskFull = isNoSpace(error, debug);
    gst::ObjectPtr<GstElement> microphone(
        m_audioBranch ? gst_bin_get_by_name(GST_BIN(m_audioBranch), "microphone") : nullptr);
    const bool fromMicrophone = microphone
        && (GST_MESSAGE_SRC(message) == GST_OBJECT(microphone.get())
            || gst_object_has_as_ancestor(GST_MESSAGE_SRC(message), GST_OBJECT(microphone.get())));
    g_clear_error(&error);
    g_free(debug);
    if (fromMicrophone) {
        log(lcCamera(), "The microphone failed (%s): the recording goes on with silence", qPrintable(text));
        endSound();
        return;
    }
    fail(diskFull ? QStringLiteral("The disk is full: %1").arg(text) : text, diskFull);
}

void VideoRecorder::endSound()
{
    if (!m_audioBranch || m_soundEnded.exchange(true))
        return;
    // The microphone's stream is ended where it feeds the branch, after the sound it has given: a
    // microphone that is gone or failed would never end it, and the mixer would wait. The
    // microphone is left running: PipeWire's source frees the memory of sound still queued when
    // it stops.
    gst::ObjectPtr<GstElement> microphone(gst_bin_get_by_name(GST_BIN(m_audioBranch), "microphone"));
    gst::ObjectPtr<GstPad> out(microphone ? gst_element_get_static_pad(microphone.get(), "src") : nullptr);
    gst::ObjectPtr<GstPad> peer(out ? gst_pad_get_peer(out.get()) : nullptr);
    if (peer)
        gst_pad_send_event(peer.get(), gst_event_new_eos());
}

void VideoRecorder::fail(const QString& message, bool diskFull)
{
    m_accepting = false;
    {
        std::scoped_lock lock(m_mutex);
        if (m_failed || m_result) // once, and never after stop() has given its result
            return;
        m_failed = true;
        m_error = message;
        m_diskFull = diskFull;
    }
    log(lcCamera(), "Recording into %s failed: %s", qPrintable(m_settings.path), qPrintable(message));
    // Stopped where it is: what reached the file stays as it was written.
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    {
        std::scoped_lock lock(m_mutex);
        m_changed.notify_all();
    }
    if (m_onFailure)
        m_onFailure(message, diskFull);
}

} // namespace platform
