#pragma once

// Thumbnails of album videos: the first frame, decoded through GStreamer from a descriptor the
// album opened (so the decoder never opens a path itself), scaled to fit a box, with a play mark
// over it. Any thread; blocks for at most the decode's time limit.

#include <optional>

#include <QImage>
#include <QSize>

namespace platform {

struct VideoProbe {
    QImage frame; // the first frame, no larger than the box; null when nothing decodes in time
    std::optional<qint64> durationMs; // when the container tells it
};
// Decodes the start of the video behind `fd` (read from its current offset; the descriptor stays
// the caller's), waiting at most `timeoutMs`.
VideoProbe probeVideo(int fd, QSize box, int timeoutMs = 10000);

// `frame` (or, null, a plain dark picture of `size`) with a white triangle in a translucent dark
// circle at its centre, sized to the picture.
QImage withPlayMark(const QImage& frame, QSize size);

} // namespace platform
