#include "CameraTestSupport.h"

#include <algorithm>

#include <pthread.h>

namespace camera_test {

double meanBrightness(const QImage& image)
{
    const QImage bgra = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    double sum = 0;
    for (int y = 0; y < bgra.height(); ++y) {
        const uchar* row = bgra.constScanLine(y);
        for (int x = 0; x < bgra.width(); ++x)
            sum += row[4 * x] + row[4 * x + 1] + row[4 * x + 2];
    }
    return sum / (3.0 * bgra.width() * bgra.height());
}

void RecordingDelegate::captureOutput(
    platform::VideoDataOutput&, platform::SampleBuffer& frame, platform::CaptureConnection&)
{
    if (m_hook)
        m_hook(frame);
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    Delivery delivery { m_clock ? m_clock->now() : platform::FrameClock::Duration::zero(),
        meanBrightness(copyPixels(frame.imageBuffer())), QString::fromUtf8(name) };
    {
        std::scoped_lock guard(m_mutex);
        m_deliveries.push_back(delivery);
    }
    m_arrived.notify_all();
}

std::vector<Delivery> RecordingDelegate::deliveries() const
{
    std::scoped_lock lock(m_mutex);
    return m_deliveries;
}

std::size_t RecordingDelegate::count() const
{
    std::scoped_lock lock(m_mutex);
    return m_deliveries.size();
}

bool RecordingDelegate::waitFor(std::size_t count, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, limit, [&] { return m_deliveries.size() >= count; });
}

QImage copyPixels(platform::PixelBuffer& pixels)
{
    platform::PixelBuffer::ScopedLock lock(pixels);
    return QImage(pixels.baseAddress(), int(pixels.width()), int(pixels.height()), int(pixels.bytesPerRow()),
        QImage::Format_ARGB32_Premultiplied)
        .copy();
}

void scribble(platform::SampleBuffer& frame, unsigned char value)
{
    platform::PixelBuffer::ScopedLock lock(frame.imageBuffer());
    std::fill_n(frame.imageBuffer().baseAddress(), frame.imageBuffer().byteCount(), value);
}

} // namespace camera_test
