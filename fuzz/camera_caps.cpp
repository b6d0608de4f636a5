// A camera's offer as GStreamer caps (what a PipeWire node or a V4L2 device says of itself): any
// caps GStreamer accepts give modes of sane sizes and named formats, never a crash.

#include <cstdint>
#include <vector>

#include <QByteArray>

#include <gst/gst.h>

#include "platform/camera/GstCameraCatalog.h"
#include "platform/camera/GstHandles.h"
#include "support/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool started = platform::gst::initialise().isEmpty();
    if (!started)
        return 0;
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size)); // ends in a zero
    platform::gst::CapsPtr caps(gst_caps_from_string(text.constData()));
    if (!caps)
        return 0;
    std::vector<QString> unreadable;
    for (const platform::CameraMode& mode : platform::GstCameraCatalog::modesOf(caps.get(), &unreadable)) {
        FUZZ_CHECK(!mode.format.isEmpty(), "every mode names its format");
        FUZZ_CHECK(mode.size.width() > 0 && mode.size.height() > 0, "every mode has a picture");
        FUZZ_CHECK(mode.size.width() <= 16384 && mode.size.height() <= 16384, "sizes stay in reach");
    }
    return 0;
}
