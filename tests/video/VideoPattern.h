#pragma once

// The picture the video tests record: four coloured quarters (red top left, green top right, blue
// bottom left, white bottom right) that tell upright from turned, fed at the camera's pace.

#include <chrono>
#include <thread>

#include <QPainter>
#include <QRandomGenerator>

#include "platform/video/VideoRecorder.h"

namespace video_test {

inline void drawQuarters(QImage image)
{
    QPainter painter(&image);
    const int w = image.width() / 2, h = image.height() / 2;
    painter.fillRect(0, 0, w, h, Qt::red);
    painter.fillRect(w, 0, image.width() - w, h, Qt::green);
    painter.fillRect(0, h, w, image.height() - h, Qt::blue);
    painter.fillRect(w, h, image.width() - w, image.height() - h, Qt::white);
}

// Noise across the middle tenth, as a dark scene has: a few hundred kilobytes a second encoded.
inline void addNoise(const platform::VideoRecorder::Frame& frame)
{
    const int top = frame.height() * 45 / 100, rows = frame.height() / 10;
    auto* band = reinterpret_cast<quint32*>(frame.data() + std::ptrdiff_t(top) * frame.stride());
    QRandomGenerator::global()->fillRange(band, std::size_t(rows) * std::size_t(frame.stride()) / 4);
}

// Submits `count` frames at `framesPerSecond` (forever when count < 0), calling `after(n)` once
// frame n is submitted; stops early when `after` returns false.
template <typename After>
void feed(
    platform::VideoRecorder& recorder, int count, double framesPerSecond, After after, bool noisy = false)
{
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; count < 0 || n < count; ++n) {
        std::this_thread::sleep_until(start + std::chrono::duration<double>(n / framesPerSecond));
        if (auto frame = recorder.acquireFrame()) {
            drawQuarters(frame->image());
            if (noisy)
                addNoise(*frame);
            recorder.submit(std::move(*frame));
        }
        if (!after(n))
            return;
    }
}

} // namespace video_test
