#include "photos/VideoRecording.h"

#include <QCoreApplication>

#include "platform/core/Log.h"

namespace photos {

VideoRecording::VideoRecording(platform::RecordingClaim claim, platform::VideoRecorder::Settings settings,
    platform::VideoRecorder::FailureHandler onFailure)
    : m_settings(std::move(settings))
    , m_onFailure(std::move(onFailure))
    , m_claim(std::move(claim))
{
    m_settings.path = m_claim.path();
}

VideoRecording::~VideoRecording()
{
    close();
}

bool VideoRecording::writeFrame(std::size_t width, std::size_t height, const Fill& fill)
{
    const std::lock_guard lock(m_mutex);
    if (m_closed || m_failed)
        return false;
    if (!m_recorder) {
        // The first frame decides the size; the camera keeps it until the recording stops.
        m_settings.frameSize = QSize(int(width), int(height));
        auto started = platform::VideoRecorder::start(m_settings, m_onFailure);
        if (!started) {
            m_failed = true;
            platform::logLine(
                platform::lcPhotos(), QStringLiteral("Recording failed: %1").arg(started.error()));
            if (m_onFailure)
                m_onFailure(started.error(), false);
            return false;
        }
        m_recorder = std::move(*started);
    }
    if (std::size_t(m_settings.frameSize.width()) != width
        || std::size_t(m_settings.frameSize.height()) != height)
        return false;
    std::optional<platform::VideoRecorder::Frame> frame = m_recorder->acquireFrame();
    if (!frame)
        return false;
    fill(frame->data(), std::size_t(frame->stride()));
    m_recorder->submit(std::move(*frame));
    return true;
}

platform::VideoRecorder::Result VideoRecording::close()
{
    std::unique_ptr<platform::VideoRecorder> recorder;
    {
        const std::lock_guard lock(m_mutex);
        if (m_closed)
            return {};
        m_closed = true;
        recorder = std::move(m_recorder);
    }
    if (!recorder) {
        platform::VideoRecorder::Result nothing;
        nothing.error = QCoreApplication::translate("photos::VideoSaver", "the camera gave no picture");
        return nothing;
    }
    return recorder->stop();
}

} // namespace photos
