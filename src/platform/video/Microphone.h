#pragma once

// The default microphone, found through GStreamer's device monitor (PipeWire's or PulseAudio's
// provider): the source marked default, else the first that is not a monitor of a speaker.
//
// Threads: any thread; find() blocks while the providers list their devices.

#include <QString>

typedef struct _GstElement GstElement;

namespace platform {

class Microphone {
public:
    // A new, floating source element for the default microphone, or null when there is none.
    // `name` is the name of the microphone found (for the log).
    static GstElement* makeDefaultSource(QString* name = nullptr);
};

} // namespace platform
