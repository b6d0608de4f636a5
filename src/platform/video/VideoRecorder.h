#pragma once

// Records BGRA pictures (bytes B, G, R, A: QImage::Format_ARGB32 on little endian) and, when asked,
// the default microphone into one file, live:
//   appsrc ! queue ! videoflip ! videoscale ! videoconvert ! capsfilter ! encoder ! parser ! queue ! muxer
//   microphone ! queue ! audioconvert ! audioresample ! audiomixer ! encoder ! parser ! muxer
//   (silence) ! audiomixer
// A picture's presentation time is when it is submitted (the pipeline's running time) put on the
// grid of the frame rate, as the microphone's sound is stamped when it is heard, so picture and
// sound stay within a frame of each other and the file has a constant frame rate.
//
// The file is written progressively (MP4 fragments of at most a second, WebM clusters), so a kill
// or a power cut leaves a playable file; VideoRepair finishes it. An error (disk full, a write
// failing) stops the pipeline at once, leaving what was written, and is reported once through the
// failure handler. A microphone that fails, goes away or starts late leaves silence in the sound
// track; the picture goes on.
//
// Frames come from a small pool the recorder owns: the caller's frame thread acquires one, draws
// into it and submits it; no copy follows until the converter reads it. When every pooled frame is
// still waiting for the encoder, acquireFrame() gives nothing and the frame counts as dropped: the
// camera's thread never waits for the encoder.
//
// Threads: start, stop and the destructor one after the other, from any thread (a recording is
// started by its first frame and finished by its owner's worker); acquireFrame, submit and the
// counters from any one frame thread. The failure handler runs on the recorder's
// own bus thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>

#include "platform/camera/Expected.h"
#include "platform/video/VideoEncoding.h"

typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;

namespace platform {

class VideoFramePool;

class VideoRecorder {
public:
    struct Position {
        double latitude { 0 }; // degrees, north positive
        double longitude { 0 }; // degrees, east positive
        std::optional<double> altitude; // metres above sea level
    };

    struct Settings {
        QString path; // the file written (its extension is the caller's choice)
        QSize frameSize; // of every submitted frame, in pixels
        double framesPerSecond { 30 }; // the camera's
        int rotation { 0 }; // clockwise degrees that make a frame upright: a multiple of 90
        bool withSound { false }; // record the default microphone when there is one
        QDateTime creationTime; // in the file's metadata; now when invalid
        std::optional<Position> position; // in the file's metadata when known
        std::optional<VideoEncoding> encoding; // VideoEncoding::choose() when empty
    };

    struct Result {
        bool ok { false };
        QString error; // why not, when not ok
        bool diskFull { false };
        bool hasSound { false }; // the file has a sound track
        std::chrono::milliseconds duration { 0 }; // first to last submitted frame, plus one frame
        std::uint64_t frames { 0 }; // submitted
        std::uint64_t dropped { 0 };
        std::int64_t fileSize { 0 }; // bytes
    };

    using FailureHandler = std::function<void(const QString& message, bool diskFull)>;

    // A pooled picture to draw into: frameSize pixels, BGRA, `stride` bytes a row. Dropping it
    // unsubmitted returns it to the pool.
    class Frame {
    public:
        Frame(Frame&& other) noexcept;
        Frame& operator=(Frame&& other) noexcept;
        ~Frame();
        uchar* data() const { return m_data; }
        int stride() const { return m_stride; }
        int width() const { return m_size.width(); }
        int height() const { return m_size.height(); }
        // The frame as an image over the same bytes (no copy), for QPainter or a filter.
        QImage image() const;

    private:
        friend class VideoRecorder;
        Frame(std::shared_ptr<VideoFramePool> pool, int slot, uchar* data, int stride, QSize size);
        std::shared_ptr<VideoFramePool> m_pool;
        int m_slot { -1 };
        uchar* m_data { nullptr };
        int m_stride { 0 };
        QSize m_size;
    };

    // Starts recording into settings.path. Fails when the pipeline cannot be built or started (no
    // encoder, a folder that cannot be written); the reason is one readable line.
    static Expected<std::unique_ptr<VideoRecorder>> start(Settings settings, FailureHandler onFailure = {});
    ~VideoRecorder();
    VideoRecorder(const VideoRecorder&) = delete;
    VideoRecorder& operator=(const VideoRecorder&) = delete;

    // A free frame, or nothing (the frame is counted as dropped) when too many wait for the encoder
    // or the recording has stopped.
    std::optional<Frame> acquireFrame();
    // Queues the frame for encoding, stamped with the present time.
    void submit(Frame&& frame);

    // Ends the file: sends the end of the stream and waits (at most `limit`) until it is written.
    // A second call gives the first result again.
    Result stop(std::chrono::milliseconds limit = std::chrono::seconds(10));

    std::uint64_t droppedFrames() const { return m_dropped.load(); }
    std::uint64_t submittedFrames() const { return m_submitted.load(); }
    bool hasSound() const { return m_audioBranch != nullptr; }
    const VideoEncoding& encoding() const { return m_settings.encoding.value(); }
    // The size of the recorded pictures: the frames turned upright, fitted into 1920×1080 (or
    // 1080×1920 when upright is portrait), aspect kept, even sides.
    QSize outputSize() const { return outputSizeFor(m_settings.frameSize, m_settings.rotation); }
    static QSize outputSizeFor(QSize frameSize, int rotation);

    // Use start(): a recorder made here has no pipeline.
    explicit VideoRecorder(Settings settings);

private:
    QString build();
    bool addSound(GstElement* muxer);
    void setMetadata(GstElement* muxer);
    void watchBus();
    void handleError(GstMessage* message);
    void endSound();
    void fail(const QString& message, bool diskFull);

    Settings m_settings;
    FailureHandler m_onFailure;
    std::shared_ptr<VideoFramePool> m_pool;
    GstElement* m_pipeline { nullptr }; // owned; set to NULL and released by the destructor
    GstElement* m_source { nullptr }; // the appsrc, owned by the pipeline
    GstElement* m_audioBranch { nullptr }; // the microphone's bin, owned by the pipeline; or null
    std::thread m_busThread;

    std::atomic<bool> m_accepting { true }; // frames are taken until stop or a failure
    std::atomic<bool> m_watching { true }; // the bus thread runs until the destructor
    std::atomic<std::uint64_t> m_dropped { 0 };
    std::atomic<std::uint64_t> m_submitted { 0 };
    std::atomic<std::int64_t> m_firstFrameNs { -1 }; // running time of the first frame
    std::atomic<std::int64_t> m_lastFrameNs { -1 }; // and of the newest
    std::atomic<bool> m_soundEnded { false }; // the sound's stream was ended

    std::mutex m_mutex;
    bool m_ended { false }; // guarded by m_mutex: the end of the stream reached the file
    bool m_failed { false }; // guarded by m_mutex
    QString m_error; // guarded by m_mutex
    bool m_diskFull { false }; // guarded by m_mutex
    std::optional<Result> m_result; // guarded by m_mutex: once stopped
    std::condition_variable m_changed; // m_ended or m_failed
};

} // namespace platform
