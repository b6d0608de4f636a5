#include "platform/camera/StreamVideoDataOutput.h"

#include "platform/camera/CaptureConnection.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/SampleBufferDelegate.h"

namespace platform {

namespace {
constexpr std::chrono::milliseconds kDrainLimit { 10000 };
}

StreamVideoDataOutput::~StreamVideoDataOutput()
{
    std::unique_ptr<DispatchQueue> queue;
    {
        std::scoped_lock lock(m_mutex);
        m_delegate = nullptr;
        ++m_generation;
        queue = std::move(m_queue);
    }
    // The queue's destructor waits for a delegate call in progress and drops the queued frame.
    queue.reset();
}

std::vector<std::shared_ptr<CaptureConnection>> StreamVideoDataOutput::connections() const
{
    std::scoped_lock lock(m_mutex);
    if (!m_connection)
        return {};
    return { m_connection };
}

void StreamVideoDataOutput::setSampleBufferDelegate(SampleBufferDelegate* delegate, const QString& queueName)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    std::unique_ptr<DispatchQueue> retired;
    DispatchQueue* current = nullptr;
    {
        std::scoped_lock lock(m_mutex);
        m_delegate = delegate;
        ++m_generation;
        if (delegate && (!m_queue || m_queue->label() != queueName)) {
            retired = std::move(m_queue);
            m_queue = std::make_unique<DispatchQueue>(
                queueName.isEmpty() ? QStringLiteral("videoQueue") : queueName);
        }
        current = m_queue.get();
    }
    // After this no call to the previous delegate runs: calls queued before the swap see the new
    // generation and skip; one already running is waited for. The current queue is only replaced
    // on this (main) thread, so `current` stays valid here.
    if (retired) {
        retired->drain(kDrainLimit);
        retired.reset();
        m_inFlight.store(false);
    }
    if (current)
        current->drain(kDrainLimit);
}

SampleBufferDelegate* StreamVideoDataOutput::sampleBufferDelegate() const
{
    std::scoped_lock lock(m_mutex);
    return m_delegate;
}

void StreamVideoDataOutput::setMinFrameDuration(FrameDuration duration)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    std::int64_t nanos = 0;
    if (duration.value > 0 && duration.timescale > 0)
        nanos = duration.value * 1000000000LL / duration.timescale;
    std::scoped_lock lock(m_mutex);
    m_minFrameDuration = duration;
    m_minInterval.store(nanos);
}

FrameDuration StreamVideoDataOutput::minFrameDuration() const
{
    std::scoped_lock lock(m_mutex);
    return m_minFrameDuration;
}

bool StreamVideoDataOutput::wantsFrame() const
{
    std::scoped_lock lock(m_mutex);
    return m_delegate && m_queue && m_connection && !m_inFlight.load();
}

bool StreamVideoDataOutput::offer(std::shared_ptr<SampleBuffer> frame)
{
    std::scoped_lock lock(m_mutex);
    if (!m_delegate || !m_queue || !m_connection || !frame)
        return false;
    bool expected = false;
    if (!m_inFlight.compare_exchange_strong(expected, true)) {
        ++m_dropped;
        return false;
    }
    const std::uint64_t generation = m_generation;
    auto connection = m_connection;
    const bool queued = m_queue->async([this, generation, frame = std::move(frame), connection] {
        SampleBufferDelegate* delegate = nullptr;
        {
            std::scoped_lock taskLock(m_mutex);
            if (generation == m_generation)
                delegate = m_delegate;
        }
        if (delegate) {
            delegate->captureOutput(*this, *frame, *connection);
            ++m_delivered;
        }
        m_inFlight.store(false);
    });
    if (!queued) {
        m_inFlight.store(false);
        ++m_dropped;
    }
    return queued;
}

void StreamVideoDataOutput::dropFrame()
{
    std::scoped_lock lock(m_mutex);
    if (m_delegate)
        ++m_dropped;
}

bool StreamVideoDataOutput::drain(std::chrono::milliseconds timeout)
{
    DispatchQueue* queue = nullptr;
    {
        std::scoped_lock lock(m_mutex);
        queue = m_queue.get();
    }
    // Callers drain from the main thread, which is also the only one that replaces the queue.
    return !queue || queue->drain(timeout);
}

void StreamVideoDataOutput::setConnection(std::shared_ptr<CaptureConnection> connection)
{
    std::scoped_lock lock(m_mutex);
    m_connection = std::move(connection);
}

} // namespace platform
