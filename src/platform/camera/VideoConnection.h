#pragma once

// The link of a session's camera input to an output: one video port.
//
// Threads: any thread; immutable.

#include "platform/camera/CaptureConnection.h"

namespace platform {

class VideoConnection final : public CaptureConnection {
public:
    std::vector<CaptureInputPort> inputPorts() const override
    {
        return { CaptureInputPort { MediaType::Video } };
    }
};

} // namespace platform
