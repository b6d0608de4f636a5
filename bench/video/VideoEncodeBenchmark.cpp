// bench_video: what encoding a recording costs, run pinned to one core (taskset -c 0, as
// scripts/run-bench.sh does).
//   encode/E/H     one second of 30 pictures of height H (1280×720 or 1920×1080) through encoder E
//                  set up exactly as the recorder sets it up: I420 in, nothing else in the pipeline.
//   record/E/H     the recorder's whole path for the same second: BGRA in, videoconvert into I420,
//                  then E.
// Counter fps: pictures encoded a second of CPU time; realtime: fps over the 30 a camera gives
// (below 1, a recording on this core drops pictures). CPU time is the whole process's: the encoders
// and GStreamer work on their own threads.
// The pictures are a gradient under per-pixel noise, eight different ones in turn, as a
// brightened dark scene looks: noise is what costs an encoder most.

#include <cstdint>
#include <random>
#include <vector>

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <benchmark/benchmark.h>

#include "platform/camera/GstHandles.h"
#include "platform/video/VideoEncoding.h"

namespace {

namespace gst = platform::gst;
constexpr int kFramesPerSecond = 30;
constexpr int kDistinct = 8;

// Eight noisy pictures in `format` ("I420" or "BGRA").
std::vector<std::vector<std::uint8_t>> pictures(int width, int height, bool bgra)
{
    std::mt19937 random(42);
    std::normal_distribution<float> noise(0.f, 12.f);
    const auto clamp = [](float value) { return std::uint8_t(std::clamp(value, 0.f, 255.f)); };
    std::vector<std::vector<std::uint8_t>> all;
    for (int n = 0; n < kDistinct; ++n) {
        std::vector<std::uint8_t> bytes;
        if (bgra) {
            bytes.resize(std::size_t(width) * height * 4);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const float level = 40.f + 80.f * x / width + noise(random);
                    std::uint8_t* p = &bytes[(std::size_t(y) * width + x) * 4];
                    p[0] = clamp(level * 0.4f), p[1] = clamp(level), p[2] = clamp(level * 0.5f), p[3] = 255;
                }
        } else {
            const std::size_t luma = std::size_t(width) * height;
            bytes.resize(luma * 3 / 2);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    bytes[std::size_t(y) * width + x] = clamp(40.f + 80.f * x / width + noise(random));
            for (std::size_t i = luma; i < bytes.size(); ++i)
                bytes[i] = clamp(110.f + noise(random) * 0.3f);
        }
        all.push_back(std::move(bytes));
    }
    return all;
}

void encodeSecond(benchmark::State& state, const char* encoderName, bool convert)
{
    if (const QString failure = gst::initialise(); !failure.isEmpty()) {
        state.SkipWithError(failure.toUtf8().constData());
        return;
    }
    auto encoding = platform::VideoEncoding::forEncoder(QLatin1String(encoderName));
    if (!encoding) {
        state.SkipWithError(encoding.error().toUtf8().constData());
        return;
    }
    const int height = int(state.range(0));
    const int width = height * 16 / 9;
    const auto frames = pictures(width, height, convert);

    for (auto _ : state) {
        state.PauseTiming();
        gst::ObjectPtr<GstElement> pipeline(gst_pipeline_new("bench"));
        GstElement* source = gst_element_factory_make("appsrc", nullptr);
        gst::CapsPtr caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING,
            convert ? "BGRA" : "I420", "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, "framerate",
            GST_TYPE_FRACTION, kFramesPerSecond, 1, nullptr));
        g_object_set(source, "caps", caps.get(), "format", GST_FORMAT_TIME, "block", TRUE, "max-buffers",
            guint64(4), nullptr);
        GstElement* conversion = gst_element_factory_make(convert ? "videoconvert" : "identity", nullptr);
        GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
        gst::CapsPtr i420(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", nullptr));
        g_object_set(filter, "caps", i420.get(), nullptr);
        GstElement* encoder = encoding->makeVideoEncoder(QSize(width, height), kFramesPerSecond);
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", FALSE, nullptr);
        gst_bin_add_many(GST_BIN(pipeline.get()), source, conversion, filter, encoder, sink, nullptr);
        gst_element_link_many(source, conversion, filter, encoder, sink, nullptr);
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        state.ResumeTiming();

        for (int n = 0; n < kFramesPerSecond; ++n) {
            const auto& bytes = frames[std::size_t(n % kDistinct)];
            GstBuffer* buffer = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY,
                const_cast<std::uint8_t*>(bytes.data()), bytes.size(), 0, bytes.size(), nullptr, nullptr);
            GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(n, GST_SECOND, kFramesPerSecond);
            GST_BUFFER_DURATION(buffer) = GST_SECOND / kFramesPerSecond;
            gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
        }
        gst_app_src_end_of_stream(GST_APP_SRC(source));
        gst::ObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
        gst::MessagePtr end(gst_bus_timed_pop_filtered(
            bus.get(), 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));

        state.PauseTiming();
        const bool failed = !end || GST_MESSAGE_TYPE(end.get()) == GST_MESSAGE_ERROR;
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        state.ResumeTiming();
        if (failed) {
            state.SkipWithError("the encoder did not finish its second");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kFramesPerSecond);
    state.counters["fps"]
        = benchmark::Counter(double(state.iterations()) * kFramesPerSecond, benchmark::Counter::kIsRate);
    state.counters["realtime"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void encode(benchmark::State& state, const char* encoder)
{
    encodeSecond(state, encoder, false);
}
void record(benchmark::State& state, const char* encoder)
{
    encodeSecond(state, encoder, true);
}

} // namespace

BENCHMARK_CAPTURE(encode, x264enc, "x264enc")
    ->Arg(720)
    ->Arg(1080)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(encode, vp8enc, "vp8enc")
    ->Arg(720)
    ->Arg(1080)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(record, x264enc, "x264enc")
    ->Arg(720)
    ->Arg(1080)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(record, vp8enc, "vp8enc")
    ->Arg(720)
    ->Arg(1080)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

BENCHMARK_MAIN();
