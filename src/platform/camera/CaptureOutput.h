#pragma once

// Something a capture session feeds: video frames or still pictures.
//
// Threads: connections() from any thread.

#include <memory>
#include <vector>

namespace platform {

class CaptureConnection;

class CaptureOutput {
public:
    virtual ~CaptureOutput() = default;

    // The output's links to the session's input; empty until the output is added to a session
    // that has an input.
    virtual std::vector<std::shared_ptr<CaptureConnection>> connections() const = 0;
};

} // namespace platform
