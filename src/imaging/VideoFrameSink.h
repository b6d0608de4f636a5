#pragma once

// Where the frame queue hands whole frames while a video is being recorded. The sink owns the
// memory (an encoder's buffer), the frame path fills it: the frame copied and enhanced on the way,
// so a recorded frame costs one pass over its pixels.
//
// Threads: writeFrame on the frame queue only.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace imaging {

class VideoFrameSink {
public:
    // Receives the destination's first pixel and the distance between its rows in bytes.
    using Fill = std::function<void(std::uint8_t* pixels, std::size_t bytesPerRow)>;

    virtual ~VideoFrameSink() = default;

    // One BGRA frame of `width` × `height` pixels, written by `fill` into the sink's memory. False
    // when the frame is dropped (the encoder is behind, or the frame is not the recording's size);
    // `fill` is then not called. Never blocks.
    virtual bool writeFrame(std::size_t width, std::size_t height, const Fill& fill) = 0;
};

} // namespace imaging
