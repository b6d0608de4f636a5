// A camera's offer as GStreamer caps (what a PipeWire node or a V4L2 device says of itself): caps of
// any shape — fixed, listed and ranged sizes and rates, any numbers, formats known and unknown —
// give modes of sane sizes and named formats, never a crash. The caps are built from the bytes
// field by field, as a device provider builds them (GStreamer's caps text parser leaks on some
// malformed text, and the app never parses caps text).

#include <cstdint>
#include <cstring>
#include <vector>

#include <gst/gst.h>

#include "platform/camera/GstCameraCatalog.h"
#include "platform/camera/GstHandles.h"
#include "support/FuzzCheck.h"

namespace {

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool empty() const { return m_at >= m_size; }
    std::uint8_t byte() { return empty() ? 0 : m_data[m_at++]; }
    int number()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | byte();
        return static_cast<int>(value);
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at { 0 };
};

const char* const kNames[] = { "video/x-raw", "image/jpeg", "video/x-h264" };
const char* const kFormats[] = { "YUY2", "NV12", "I420", "BGRx", "RGB", "GRAY8", "NOTAFORMAT", "" };

// An int, an int range or a list of ints, as the next byte says.
void setInts(GstStructure* structure, const char* field, Bytes& in)
{
    GValue value = G_VALUE_INIT;
    switch (in.byte() % 4) {
    case 0:
        return; // absent
    case 1:
        g_value_init(&value, G_TYPE_INT);
        g_value_set_int(&value, in.number());
        break;
    case 2: {
        const int low = in.number(), high = in.number();
        if (low >= high)
            return; // GStreamer refuses empty ranges
        g_value_init(&value, GST_TYPE_INT_RANGE);
        gst_value_set_int_range(&value, low, high);
        break;
    }
    default: {
        g_value_init(&value, GST_TYPE_LIST);
        for (int count = in.byte() % 4; count > 0; --count) {
            GValue item = G_VALUE_INIT;
            g_value_init(&item, G_TYPE_INT);
            g_value_set_int(&item, in.number());
            gst_value_list_append_and_take_value(&value, &item);
        }
    }
    }
    gst_structure_take_value(structure, field, &value);
}

void setRate(GstStructure* structure, Bytes& in)
{
    GValue value = G_VALUE_INIT;
    const int kind = in.byte() % 3;
    const int numerator = in.number(), denominator = in.number();
    if (kind == 0 || denominator <= 0)
        return;
    g_value_init(&value, GST_TYPE_FRACTION);
    gst_value_set_fraction(&value, numerator, denominator);
    if (kind == 2) {
        GValue list = G_VALUE_INIT;
        g_value_init(&list, GST_TYPE_LIST);
        gst_value_list_append_and_take_value(&list, &value);
        gst_structure_take_value(structure, "framerate", &list);
        return;
    }
    gst_structure_take_value(structure, "framerate", &value);
}

void setFormats(GstStructure* structure, Bytes& in)
{
    const int kind = in.byte() % 3;
    if (kind == 0)
        return;
    if (kind == 1) {
        gst_structure_set(
            structure, "format", G_TYPE_STRING, kFormats[in.byte() % std::size(kFormats)], nullptr);
        return;
    }
    GValue list = G_VALUE_INIT;
    g_value_init(&list, GST_TYPE_LIST);
    for (int count = in.byte() % 4; count > 0; --count) {
        GValue item = G_VALUE_INIT;
        g_value_init(&item, G_TYPE_STRING);
        g_value_set_string(&item, kFormats[in.byte() % std::size(kFormats)]);
        gst_value_list_append_and_take_value(&list, &item);
    }
    gst_structure_take_value(structure, "format", &list);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool started = platform::gst::initialise().isEmpty();
    if (!started)
        return 0;
    Bytes in(data, size);
    platform::gst::CapsPtr caps(gst_caps_new_empty());
    for (int structures = 0; structures < 8 && !in.empty(); ++structures) {
        GstStructure* structure = gst_structure_new_empty(kNames[in.byte() % std::size(kNames)]);
        setFormats(structure, in);
        setInts(structure, "width", in);
        setInts(structure, "height", in);
        setRate(structure, in);
        gst_caps_append_structure(caps.get(), structure);
    }
    std::vector<QString> unreadable;
    for (const platform::CameraMode& mode : platform::GstCameraCatalog::modesOf(caps.get(), &unreadable)) {
        FUZZ_CHECK(!mode.format.isEmpty(), "every mode names its format");
        FUZZ_CHECK(mode.size.width() > 0 && mode.size.height() > 0, "every mode has a picture");
        FUZZ_CHECK(mode.size.width() <= 16384 && mode.size.height() <= 16384, "sizes stay in reach");
        FUZZ_CHECK(mode.framesPerSecond >= 0, "rates are never negative");
    }
    return 0;
}
