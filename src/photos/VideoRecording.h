#pragma once

// One recording under way: the album's claim on its file and the encoder writing it, made for the
// size of the first frame that arrives. It is the frame pipeline's video sink while it records.
//
// Threads: writeFrame on the frame queue; close and the accessors on any thread. The failure
// handler runs on the encoder's bus thread, or on the frame queue when the encoder cannot start.

#include <functional>
#include <memory>
#include <mutex>

#include "imaging/VideoFrameSink.h"
#include "platform/album/AlbumFolder.h"
#include "platform/video/VideoRecorder.h"

namespace photos {

class VideoRecording final : public imaging::VideoFrameSink {
public:
    VideoRecording(platform::RecordingClaim claim, platform::VideoRecorder::Settings settings,
        platform::VideoRecorder::FailureHandler onFailure);
    ~VideoRecording() override;

    bool writeFrame(std::size_t width, std::size_t height, const Fill& fill) override;

    // Takes no more frames and ends the file; the result of the encoder (not ok, with its error,
    // when no frame ever came). Once; the file's claim can then be taken.
    platform::VideoRecorder::Result close();
    platform::RecordingClaim takeClaim() { return std::move(m_claim); }

private:
    std::mutex m_mutex;
    bool m_closed { false }; // guarded by m_mutex
    bool m_failed { false }; // guarded by m_mutex: the encoder could not start
    std::unique_ptr<platform::VideoRecorder> m_recorder; // guarded by m_mutex
    platform::VideoRecorder::Settings m_settings;
    platform::VideoRecorder::FailureHandler m_onFailure;
    platform::RecordingClaim m_claim;
};

} // namespace photos
