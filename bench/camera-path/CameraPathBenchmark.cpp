// bench_camera_path: what a real camera's picture costs before the frame path sees it, and how long
// a start takes to show the first one.
//   memcpy/mode:M     a memcpy of the converted BGRA frame of mode M: the yardstick
//   convert/mode:M/turn:T  one camera picture through the stream's conversion (motion JPEG decoded,
//                     colours converted into BGRA, turned T degrees: 90 for an upright webcam, 0
//                     for a sensor mounted like the phone's), mapped as a QImage and copied once
//                     into a SampleBuffer as the session hands it to a video output. Counter
//                     vs_memcpy: its CPU time over that of memcpy/mode:M in the same run.
//   first_picture     wall time from starting lumivue against a virtual PipeWire camera to its log
//                     line "Camera started" (the health watch sees the first picture within 50 ms).
// Modes: 0 YUY2 640×480, 1 NV12 1280×720, 2 MJPG 1920×1080.
//
// CPU time is that of the whole process (MeasureProcessCPUTime), not of the benchmark's thread:
// GStreamer converts on its own streaming threads (appsrc's task, videoconvert's n-threads), and
// the process's CPU time is what the battery pays. The vs_memcpy ratios use the same clock.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/video/video.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include "platform/camera/GstCameraStream.h"
#include "platform/camera/GstHandles.h"
#include "platform/camera/SampleBuffer.h"

namespace {

namespace gst = platform::gst;
using platform::CameraMode;
using platform::GstCameraStream;

const CameraMode kModes[] = {
    { QStringLiteral("YUY2"), QSize(640, 480), 30 },
    { QStringLiteral("NV12"), QSize(1280, 720), 30 },
    { QStringLiteral("MJPG"), QSize(1920, 1080), 30 },
};
constexpr auto kPullLimit = 10 * GST_SECOND;

std::size_t bgraBytes(const CameraMode& mode)
{
    return std::size_t(mode.size.width()) * std::size_t(mode.size.height()) * 4;
}

double processCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Seconds per memcpy of each mode's converted frame, set by the memcpy cases, which run first.
double memcpySeconds[std::size(kModes)] {};

// A scene with the gradients, edges and sensor noise of a real picture: flat or zero frames would
// flatter the JPEG decoder and the converters.
QImage scene(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width(), h = size.height();
    QPainter painter(&image);
    QLinearGradient sky(0, 0, w, h);
    sky.setColorAt(0, QColor(20, 30, 55));
    sky.setColorAt(1, QColor(190, 160, 110));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(170, 40, 35));
    painter.drawEllipse(QRect(w / 8, h / 6, w / 3, h / 2));
    painter.setBrush(QColor(40, 150, 70));
    painter.drawRect(QRect(w / 2, h / 3, w / 3, h / 2));
    painter.end();
    std::mt19937 random(1);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int noise = int(random() % 7) - 3;
            const auto add = [noise](int channel) { return std::clamp(channel + noise, 0, 255); };
            row[x] = qRgb(add(qRed(row[x])), add(qGreen(row[x])), add(qBlue(row[x])));
        }
    }
    return image;
}

// Why `pipeline` gave no picture.
QString failureOf(GstElement* pipeline)
{
    gst::ObjectPtr<GstBus> bus(gst_element_get_bus(pipeline));
    gst::MessagePtr message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    if (!message)
        return QStringLiteral("no picture came out");
    GError* error = nullptr;
    gst_message_parse_error(message.get(), &error, nullptr);
    QString reason = QString::fromUtf8(error ? error->message : "unknown error");
    g_clear_error(&error);
    return reason;
}

// The scene as the camera delivers it in `mode` (encoded once, reused for every iteration).
GstBuffer* cameraPicture(const CameraMode& mode, QString* failure)
{
    const QImage image = scene(mode.size);
    const QString description
        = QStringLiteral("appsrc name=in format=time caps=video/x-raw,format=BGRx,width=%1,height=%2,"
                         "framerate=30/1 ! videoconvert ! %3%4 ! appsink name=out sync=false")
              .arg(mode.size.width())
              .arg(mode.size.height())
              .arg(mode.isJpeg() ? QStringLiteral("jpegenc ! ") : QString(), GstCameraStream::capsFor(mode));
    GError* error = nullptr;
    gst::ObjectPtr<GstElement> pipeline(gst_parse_launch(description.toUtf8().constData(), &error));
    if (!pipeline) {
        *failure = QString::fromUtf8(error ? error->message : "cannot build the encoder");
        g_clear_error(&error);
        return nullptr;
    }
    g_clear_error(&error);
    gst::ObjectPtr<GstElement> in(gst_bin_get_by_name(GST_BIN(pipeline.get()), "in"));
    gst::ObjectPtr<GstElement> out(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    gst_app_src_push_buffer(
        GST_APP_SRC(in.get()), gst_buffer_new_memdup(image.constBits(), std::size_t(image.sizeInBytes())));
    gst_app_src_end_of_stream(GST_APP_SRC(in.get()));
    gst::SamplePtr sample(gst_app_sink_try_pull_sample(GST_APP_SINK(out.get()), kPullLimit));
    GstBuffer* picture = sample ? gst_buffer_ref(gst_sample_get_buffer(sample.get())) : nullptr;
    if (!picture)
        *failure = failureOf(pipeline.get());
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return picture;
}

// appsrc ! the stream's conversion ! appsink, fed one picture at a time.
class Conversion {
public:
    Conversion(const CameraMode& mode, int turn)
        : m_pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("bench"))))
    {
        GstElement* source = gst_element_factory_make("appsrc", "camera");
        GstElement* conversion = GstCameraStream::makeConversion(mode, turn);
        GstElement* sink = gst_element_factory_make("appsink", "converted");
        if (!source || !conversion || !sink) {
            for (GstElement* element : { source, conversion, sink })
                if (element)
                    gst_object_unref(gst_object_ref_sink(element));
            return;
        }
        gst::CapsPtr caps(gst_caps_from_string(GstCameraStream::capsFor(mode).toUtf8().constData()));
        g_object_set(source, "caps", caps.get(), "format", GST_FORMAT_TIME, "is-live", FALSE, nullptr);
        g_object_set(sink, "sync", FALSE, "enable-last-sample", FALSE, nullptr);
        gst_bin_add_many(GST_BIN(m_pipeline.get()), source, conversion, sink, nullptr);
        if (!gst_element_link_many(source, conversion, sink, nullptr))
            return;
        m_source = GST_APP_SRC(source);
        m_sink = GST_APP_SINK(sink);
        gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING);
    }
    ~Conversion() { gst_element_set_state(m_pipeline.get(), GST_STATE_NULL); }
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    explicit operator bool() const { return m_source && m_sink; }
    // `picture` converted; null when nothing came out within the limit.
    gst::SamplePtr convert(GstBuffer* picture)
    {
        gst_app_src_push_buffer(m_source, gst_buffer_ref(picture));
        return gst::SamplePtr(gst_app_sink_try_pull_sample(m_sink, kPullLimit));
    }
    QString failure() const { return failureOf(m_pipeline.get()); }

private:
    gst::ObjectPtr<GstElement> m_pipeline;
    GstAppSrc* m_source { nullptr }; // owned by the pipeline
    GstAppSink* m_sink { nullptr };
};

// The hand-over as the stream and the session make it: the converted buffer mapped and shown as a
// QImage (no copy), then one copy into a SampleBuffer for the video output.
bool handOver(GstSample* sample)
{
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample)))
        return false;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ))
        return false;
    bool copied = false;
    {
        const QImage image(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
            GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
            GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_ARGB32_Premultiplied);
        auto buffer = platform::SampleBuffer::fromImage(image);
        copied = bool(buffer);
        benchmark::DoNotOptimize(buffer);
    }
    gst_video_frame_unmap(&frame);
    return copied;
}

std::string labelOf(const CameraMode& mode)
{
    return QStringLiteral("%1 %2x%3")
        .arg(mode.format)
        .arg(mode.size.width())
        .arg(mode.size.height())
        .toStdString();
}

void BM_memcpy(benchmark::State& state)
{
    const auto index = std::size_t(state.range(0));
    const std::size_t bytes = bgraBytes(kModes[index]);
    std::vector<std::uint8_t> source(bytes), target(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        source[i] = std::uint8_t(i * 31 >> 3);
    const double start = processCpuSeconds();
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    memcpySeconds[index] = (processCpuSeconds() - start) / double(state.iterations());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes));
    state.SetLabel(labelOf(kModes[index]) + " BGRA");
}

void BM_convert(benchmark::State& state)
{
    const auto index = std::size_t(state.range(0));
    const CameraMode& mode = kModes[index];
    static GstBuffer* pictures[std::size(kModes)] {}; // made once, kept for the run
    QString failure;
    if (!pictures[index])
        pictures[index] = cameraPicture(mode, &failure);
    if (!pictures[index]) {
        state.SkipWithError(("cannot make the camera picture: " + failure).toUtf8().constData());
        return;
    }
    Conversion conversion(mode, int(state.range(1)));
    // The first picture negotiates the formats: not part of a frame's cost.
    if (!conversion || !conversion.convert(pictures[index])) {
        state.SkipWithError(("the conversion does not run: " + conversion.failure()).toUtf8().constData());
        return;
    }
    const double start = processCpuSeconds();
    for (auto _ : state) {
        gst::SamplePtr sample = conversion.convert(pictures[index]);
        if (!sample || !handOver(sample.get())) {
            state.SkipWithError(("a picture was lost: " + conversion.failure()).toUtf8().constData());
            break;
        }
    }
    if (state.iterations() > 0 && memcpySeconds[index] > 0)
        state.counters["vs_memcpy"]
            = (processCpuSeconds() - start) / double(state.iterations()) / memcpySeconds[index];
    state.SetLabel(labelOf(mode));
    if (mode.isJpeg())
        state.counters["jpeg_kB"] = double(gst_buffer_get_size(pictures[index])) / 1000;
}

// Why no virtual camera can be served here; empty when one can.
QString pipewireMissing(const QString& lumivue)
{
    const QString reason = qEnvironmentVariable("LUMIVUE_PIPEWIRE_UNAVAILABLE");
    if (!reason.isEmpty())
        return reason;
    QString runtime = qEnvironmentVariable("PIPEWIRE_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/pipewire-0")))
        return QStringLiteral(
            "no PipeWire daemon: run it through scripts/with-pipewire.sh, as make bench does");
    if (QStandardPaths::findExecutable(QStringLiteral("gst-launch-1.0")).isEmpty())
        return QStringLiteral("gst-launch-1.0 is not installed");
    if (!QFileInfo(lumivue).isExecutable())
        return lumivue + QStringLiteral(" is not built");
    return {};
}

// Waits for `text` on the program's standard error, which `seen` collects; false when the program
// ends or the limit passes first.
bool waitForError(QProcess& program, const QString& text, QString& seen, std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!seen.contains(text)) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || program.state() == QProcess::NotRunning)
            return false;
        program.waitForReadyRead(int(std::min<long long>(left.count(), 100)));
        seen += QString::fromUtf8(program.readAllStandardError());
    }
    return true;
}

void BM_first_picture(benchmark::State& state)
{
    const QString lumivue = QCoreApplication::applicationDirPath() + QStringLiteral("/lumivue");
    if (const QString missing = pipewireMissing(lumivue); !missing.isEmpty()) {
        state.SkipWithError(("no virtual camera: " + missing).toUtf8().constData());
        return;
    }
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME" })
        environment.insert(QLatin1String(name), home.filePath(QLatin1String(name)));
    const QString name = QStringLiteral("BenchWebcam%1").arg(QCoreApplication::applicationPid());

    // A webcam's mode; a moving test picture, copied out of the sink's pool so none stalls there.
    QProcess camera;
    camera.start(QStringLiteral("gst-launch-1.0"),
        { QStringLiteral("-q"), QStringLiteral("videotestsrc"), QStringLiteral("is-live=true"),
            QStringLiteral("pattern=ball"), QStringLiteral("!"),
            QStringLiteral("video/x-raw,format=YUY2,width=640,height=480,framerate=30/1"),
            QStringLiteral("!"), QStringLiteral("identity"), QStringLiteral("drop-allocation=true"),
            QStringLiteral("!"), QStringLiteral("pipewiresink"), QStringLiteral("mode=provide"),
            QStringLiteral("stream-properties=p,media.class=Video/Source,media.role=Camera,"
                           "node.description=%1")
                .arg(name) });
    bool listed = false;
    for (int attempt = 0; attempt < 100 && !listed && camera.state() != QProcess::NotRunning; ++attempt) {
        QProcess list;
        list.setProcessEnvironment(environment);
        list.start(lumivue, { QStringLiteral("--list-cameras") });
        list.waitForFinished(20000);
        listed = QString::fromUtf8(list.readAllStandardOutput()).contains(name + QLatin1Char('\n'));
        if (!listed)
            QThread::msleep(100);
    }
    if (!listed) {
        state.SkipWithError(
            ("the virtual camera never appeared: " + QString::fromUtf8(camera.readAllStandardError()))
                .toUtf8()
                .constData());
        return;
    }

    // Three seconds per run, so that a start slowed by a loaded machine is still seen.
    const QString started = QStringLiteral("Camera started: ") + name;
    const QStringList arguments { QStringLiteral("--headless"), QStringLiteral("--no-analytics"),
        QStringLiteral("--camera"), QStringLiteral("pipewire:") + name, QStringLiteral("--album"),
        home.filePath(QStringLiteral("album")), QStringLiteral("--duration"), QStringLiteral("3") };
    double fastest = 1e9, slowest = 0;
    for (auto _ : state) {
        QProcess app;
        app.setProcessEnvironment(environment);
        app.setReadChannel(QProcess::StandardError);
        QString errors;
        const auto launched = std::chrono::steady_clock::now();
        app.start(lumivue, arguments);
        const bool shown = waitForError(app, started, errors, std::chrono::seconds(30));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - launched;
        if (!app.waitForFinished(30000))
            app.kill();
        app.waitForFinished();
        if (!shown) {
            state.SkipWithError(("no first picture: " + errors.right(400)).toUtf8().constData());
            break;
        }
        state.SetIterationTime(took.count());
        slowest = std::max(slowest, took.count());
        fastest = std::min(fastest, took.count());
    }
    state.counters["fastest_ms"] = fastest * 1000;
    state.counters["slowest_ms"] = slowest * 1000;
    camera.kill();
    camera.waitForFinished();
    state.SetLabel("YUY2 640x480 over PipeWire");
}

} // namespace

BENCHMARK(BM_memcpy)
    ->DenseRange(0, 2)
    ->ArgName("mode")
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();
BENCHMARK(BM_convert)
    ->ArgsProduct({ { 0, 1, 2 }, { 90, 0 } })
    ->ArgNames({ "mode", "turn" })
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();
// Each start is a whole program run (about 4 s): a handful is enough.
BENCHMARK(BM_first_picture)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString failure = platform::gst::initialise(); !failure.isEmpty()) {
        std::fprintf(stderr, "bench_camera_path: GStreamer does not start: %s\n", qUtf8Printable(failure));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
