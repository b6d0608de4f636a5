#pragma once

// A link from a session's input to one of its outputs, carrying the media of its input ports.
//
// Threads: any thread; a connection does not change after it is made.

#include <algorithm>
#include <vector>

#include "platform/camera/CameraTypes.h"

namespace platform {

struct CaptureInputPort {
    MediaType mediaType { MediaType::Video };
};

class CaptureConnection {
public:
    virtual ~CaptureConnection() = default;

    virtual std::vector<CaptureInputPort> inputPorts() const = 0;

    bool carries(MediaType type) const
    {
        const auto ports = inputPorts();
        return std::any_of(ports.begin(), ports.end(),
            [type](const CaptureInputPort& port) { return port.mediaType == type; });
    }
};

} // namespace platform
