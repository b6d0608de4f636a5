#include "platform/camera/StreamCaptureSession.h"

#include <algorithm>

#include <pthread.h>

#include "platform/camera/CaptureDeviceInput.h"
#include "platform/camera/FrameSource.h"
#include "platform/camera/PreviewFrameStore.h"
#include "platform/camera/SampleBuffer.h"
#include "platform/camera/StreamCaptureDevice.h"
#include "platform/camera/StreamStillImageOutput.h"
#include "platform/camera/StreamVideoDataOutput.h"
#include "platform/camera/VideoConnection.h"
#include "platform/core/Log.h"

namespace platform {

namespace {
// The stand-in sensors read out 30 frames per second; the video output may ask for fewer.
constexpr FrameClock::Duration kSourceFrameInterval { 1000000000LL / 30 };
// How often a source with a rate of its own is asked for a new picture.
constexpr FrameClock::Duration kSourcePollInterval { 1000000000LL / 120 };
constexpr std::chrono::milliseconds kDrainLimit { 10000 };
} // namespace

StreamCaptureSession::StreamCaptureSession(
    std::shared_ptr<FrameSource> source, std::shared_ptr<FrameClock> clock)
    : m_source(std::move(source))
    , m_clock(std::move(clock))
    , m_epoch(m_clock->now())
{
}

StreamCaptureSession::~StreamCaptureSession()
{
    stopRunning();
}

void StreamCaptureSession::setSessionPreset(SessionPreset preset)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (m_preset.exchange(preset) == preset)
        return;
    if (auto device = currentDevice())
        device->beginAdjusting();
    if (isRunning())
        activateSource();
}

bool StreamCaptureSession::addInput(const std::shared_ptr<CaptureDeviceInput>& input)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (!input)
        return false;
    auto device = std::dynamic_pointer_cast<StreamCaptureDevice>(input->device());
    if (!device)
        return false;
    {
        std::scoped_lock lock(m_mutex);
        if (m_input)
            return false;
        m_input = input;
        m_device = device;
    }
    device->beginAdjusting();
    updateConnections();
    if (isRunning())
        activateSource();
    return true;
}

void StreamCaptureSession::removeInput(const std::shared_ptr<CaptureDeviceInput>& input)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    {
        std::scoped_lock lock(m_mutex);
        if (!input || m_input != input)
            return;
        m_input.reset();
        m_device.reset();
    }
    updateConnections();
    if (isRunning())
        activateSource();
}

bool StreamCaptureSession::addOutput(const std::shared_ptr<CaptureOutput>& output)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (auto video = std::dynamic_pointer_cast<StreamVideoDataOutput>(output)) {
        std::scoped_lock lock(m_mutex);
        if (std::find(m_videoOutputs.begin(), m_videoOutputs.end(), video) != m_videoOutputs.end())
            return false;
        m_videoOutputs.push_back(video);
        video->setConnection(m_input ? std::make_shared<VideoConnection>() : nullptr);
        return true;
    }
    if (auto still = std::dynamic_pointer_cast<StreamStillImageOutput>(output)) {
        if (std::find(m_stillOutputs.begin(), m_stillOutputs.end(), still) != m_stillOutputs.end())
            return false;
        m_stillOutputs.push_back(still);
        still->attach(weak_from_this());
        std::scoped_lock lock(m_mutex);
        still->setConnection(m_input ? std::make_shared<VideoConnection>() : nullptr);
        return true;
    }
    return false;
}

void StreamCaptureSession::updateConnections()
{
    std::scoped_lock lock(m_mutex);
    // A new input makes new connections, as a camera switch does on the platform.
    for (const auto& video : m_videoOutputs)
        video->setConnection(m_input ? std::make_shared<VideoConnection>() : nullptr);
    for (const auto& still : m_stillOutputs)
        still->setConnection(m_input ? std::make_shared<VideoConnection>() : nullptr);
}

void StreamCaptureSession::activateSource()
{
    m_source->setActive(isRunning() ? currentDevice() : nullptr, m_preset.load());
}

void StreamCaptureSession::startRunning()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (m_running.exchange(true))
        return;
    if (auto device = currentDevice())
        device->beginAdjusting();
    activateSource();
    m_streamThread = std::jthread([this](const std::stop_token& stop) { stream(stop); });
}

void StreamCaptureSession::stopRunning()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (!m_running.exchange(false))
        return;
    if (m_streamThread.joinable()) {
        m_streamThread.request_stop();
        m_streamThread.join();
    }
    std::vector<std::shared_ptr<StreamVideoDataOutput>> outputs;
    std::vector<std::weak_ptr<PreviewFrameStore>> previews;
    {
        std::scoped_lock lock(m_mutex);
        outputs = m_videoOutputs;
        previews = m_previews;
    }
    for (const auto& output : outputs) {
        if (!output->drain(kDrainLimit))
            log(lcCamera(), "Capture session: a frame delegate is still busy after %lld ms",
                static_cast<long long>(kDrainLimit.count()));
    }
    for (const auto& weak : previews) {
        if (auto store = weak.lock())
            store->clear();
    }
    activateSource();
}

std::shared_ptr<StreamCaptureDevice> StreamCaptureSession::currentDevice() const
{
    std::scoped_lock lock(m_mutex);
    return m_device;
}

void StreamCaptureSession::addPreviewStore(const std::weak_ptr<PreviewFrameStore>& store)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    std::scoped_lock lock(m_mutex);
    std::erase_if(m_previews, [](const auto& weak) { return weak.expired(); });
    m_previews.push_back(store);
}

std::function<Expected<std::shared_ptr<SampleBuffer>>()> StreamCaptureSession::stillCapture() const
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    auto device = currentDevice();
    if (!device)
        return {};
    // The job carries its own references: it may run after the session is gone.
    return [source = m_source, device, preset = m_preset.load(), time = m_clock->now() - m_epoch] {
        return source->stillFrame(*device, preset, time);
    };
}

void StreamCaptureSession::stream(const std::stop_token& stop)
{
    pthread_setname_np(pthread_self(), "cameraStream");
    FrameClock::Duration next = m_clock->now();
    FrameClock::Duration nextOffer = next;
    // A real camera's pictures come at its own rate: the preview shows each as it comes, and the
    // outputs get the newest one not yet offered once their interval has passed.
    const bool previewsAtSourceRate = m_source->previewsAtSourceRate();
    QImage unoffered;
    const StreamCaptureDevice* unofferedFrom = nullptr;
    while (m_clock->waitUntil(next, stop)) {
        const FrameClock::Duration now = m_clock->now();
        std::shared_ptr<StreamCaptureDevice> device;
        std::vector<std::shared_ptr<StreamVideoDataOutput>> outputs;
        std::vector<std::shared_ptr<PreviewFrameStore>> previews;
        {
            std::scoped_lock lock(m_mutex);
            device = m_device;
            outputs = m_videoOutputs;
            for (const auto& weak : m_previews) {
                if (auto store = weak.lock())
                    previews.push_back(std::move(store));
            }
        }

        FrameClock::Duration interval = kSourceFrameInterval;
        bool wanted = !previews.empty();
        for (const auto& output : outputs) {
            interval = std::max(interval, output->minFrameInterval());
            wanted = wanted || output->wantsFrame();
        }
        const bool outputsDue = now >= nextOffer;
        if (device.get() != unofferedFrom)
            unoffered = QImage();

        if (device && wanted) {
            const QImage picture = m_source->videoFrame(*device, m_preset.load(), now - m_epoch);
            if (!picture.isNull()) {
                const bool mirrored = device->position() != CaptureDevicePosition::Back;
                for (const auto& store : previews)
                    store->publish(picture, mirrored, now);
                unoffered = picture;
                unofferedFrom = device.get();
            }
            if (outputsDue && !unoffered.isNull()) {
                nextOffer = now + interval;
                for (const auto& output : outputs) {
                    if (!output->wantsFrame()) {
                        output->dropFrame();
                        continue;
                    }
                    // Each delegate gets its own pixels: it enhances them in place.
                    auto frame = SampleBuffer::fromImage(unoffered);
                    if (frame)
                        output->offer(std::make_shared<SampleBuffer>(std::move(frame.value())));
                }
                unoffered = QImage();
            }
        } else if (device && outputsDue) {
            for (const auto& output : outputs)
                output->dropFrame();
        }
        // Measured from this frame's time, so two frames are never closer than the interval,
        // however late this one was.
        next = now + (previewsAtSourceRate ? kSourcePollInterval : interval);
    }
}

} // namespace platform
