#include "platform/camera/StreamStillImageOutput.h"

#include <QCoreApplication>

#include "platform/camera/CaptureConnection.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StreamCaptureSession.h"

namespace platform {

StreamStillImageOutput::StreamStillImageOutput() = default;

StreamStillImageOutput::~StreamStillImageOutput()
{
    // Queued requests see the flag and complete with an error instead of taking a picture.
    m_closing.store(true);
    m_queue.drain(std::chrono::minutes(1));
}

std::vector<std::shared_ptr<CaptureConnection>> StreamStillImageOutput::connections() const
{
    std::scoped_lock lock(m_mutex);
    if (!m_connection)
        return {};
    return { m_connection };
}

void StreamStillImageOutput::captureStillImageAsynchronously(
    const std::shared_ptr<CaptureConnection>& connection, Completion completion)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (!completion)
        return;
    std::function<Expected<std::shared_ptr<SampleBuffer>>()> take;
    QString error;
    const auto session = m_session.lock();
    {
        std::scoped_lock lock(m_mutex);
        if (!session || !m_connection)
            error = QStringLiteral("still image output is not connected to a camera");
        else if (!connection || connection != m_connection || !connection->carries(MediaType::Video))
            error = QStringLiteral("still image requested on a connection of another output");
    }
    if (error.isEmpty()) {
        if (!session->isRunning())
            error = QCoreApplication::translate("StreamStillImageOutput", "capture session is not running");
        else
            take = session->stillCapture();
    }
    if (!take && error.isEmpty())
        error = QStringLiteral("capture session has no camera input");

    m_queue.async([this, take = std::move(take), error, completion = std::move(completion)] {
        if (m_closing.load()) {
            completion(nullptr,
                QCoreApplication::translate(
                    "StreamStillImageOutput", "still image output was closed before the picture was taken"));
            return;
        }
        if (!take) {
            completion(nullptr, error);
            return;
        }
        auto frame = take();
        if (!frame)
            completion(nullptr, frame.error());
        else
            completion(std::move(frame.value()), QString());
    });
}

void StreamStillImageOutput::attach(std::weak_ptr<StreamCaptureSession> session)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    m_session = std::move(session);
}

void StreamStillImageOutput::setConnection(std::shared_ptr<CaptureConnection> connection)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    std::scoped_lock lock(m_mutex);
    m_connection = std::move(connection);
}

} // namespace platform
