#include "platform/camera/GstCameraCatalog.h"

#include <algorithm>

#include <gst/gst.h>
#include <gst/video/video.h>

#include "platform/camera/GstHandles.h"

namespace platform {

namespace {

constexpr int kLargestSide = 16384;

// Sizes tried inside a range of sizes (PipeWire nodes of libcamera cameras offer ranges).
constexpr QSize kCommonSizes[]
    = { { 320, 240 }, { 640, 480 }, { 1280, 720 }, { 1920, 1080 }, { 2592, 1944 }, { 3840, 2160 } };

QString stringProperty(const GstStructure* properties, const char* key)
{
    if (!properties)
        return {};
    if (const gchar* text = gst_structure_get_string(properties, key))
        return QString::fromUtf8(text);
    // Some providers publish numbers as numbers.
    const GValue* value = gst_structure_get_value(properties, key);
    if (value && G_VALUE_HOLDS_INT(value))
        return QString::number(g_value_get_int(value));
    if (value && G_VALUE_HOLDS_UINT(value))
        return QString::number(g_value_get_uint(value));
    if (value && G_VALUE_HOLDS_UINT64(value))
        return QString::number(g_value_get_uint64(value));
    return {};
}

// The values of an int, int range or list of ints (ranges stand for their ends).
std::vector<int> intsOf(const GValue* value)
{
    if (!value)
        return {};
    if (G_VALUE_HOLDS_INT(value))
        return { g_value_get_int(value) };
    if (GST_VALUE_HOLDS_INT_RANGE(value))
        return { gst_value_get_int_range_min(value), gst_value_get_int_range_max(value) };
    std::vector<int> all;
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const auto some = intsOf(gst_value_list_get_value(value, i));
            all.insert(all.end(), some.begin(), some.end());
        }
    }
    return all;
}

double highestRate(const GValue* value)
{
    if (!value)
        return 0;
    auto rate = [](const GValue* fraction) {
        const int n = gst_value_get_fraction_numerator(fraction);
        const int d = gst_value_get_fraction_denominator(fraction);
        return d > 0 && n > 0 ? double(n) / d : 0.0; // a negative rate is no rate we know
    };
    if (GST_VALUE_HOLDS_FRACTION(value))
        return rate(value);
    if (GST_VALUE_HOLDS_FRACTION_RANGE(value))
        return rate(gst_value_get_fraction_range_max(value));
    double best = 0;
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            best = std::max(best, highestRate(gst_value_list_get_value(value, i)));
    }
    return best;
}

std::vector<QString> formatsOf(const GstStructure* structure)
{
    if (gst_structure_has_name(structure, "image/jpeg"))
        return { QStringLiteral("MJPG") };
    const GValue* value = gst_structure_get_value(structure, "format");
    if (!value)
        return {};
    if (G_VALUE_HOLDS_STRING(value))
        return { QString::fromUtf8(g_value_get_string(value)) };
    std::vector<QString> all;
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_STRING(item))
                all.push_back(QString::fromUtf8(g_value_get_string(item)));
        }
    }
    return all;
}

// videoconvert reads every raw format GStreamer knows; jpegdec reads motion JPEG.
bool readable(const QString& format)
{
    return format == QLatin1String("MJPG")
        || gst_video_format_from_string(format.toUtf8().constData()) != GST_VIDEO_FORMAT_UNKNOWN;
}

// The sizes of one caps structure: fixed sizes as they are; a range as its largest size and the
// common sizes inside it.
std::vector<QSize> sizesOf(const GstStructure* structure)
{
    const GValue* widthValue = gst_structure_get_value(structure, "width");
    const GValue* heightValue = gst_structure_get_value(structure, "height");
    const auto widths = intsOf(widthValue);
    const auto heights = intsOf(heightValue);
    if (widths.empty() || heights.empty())
        return {};
    const bool ranged = GST_VALUE_HOLDS_INT_RANGE(widthValue) || GST_VALUE_HOLDS_INT_RANGE(heightValue);
    if (!ranged) {
        std::vector<QSize> sizes;
        for (int w : widths)
            for (int h : heights)
                sizes.emplace_back(w, h);
        return sizes;
    }
    const auto [minW, maxW] = std::minmax_element(widths.begin(), widths.end());
    const auto [minH, maxH] = std::minmax_element(heights.begin(), heights.end());
    std::vector<QSize> sizes { QSize(std::min(*maxW, kLargestSide), std::min(*maxH, kLargestSide)) };
    for (QSize common : kCommonSizes) {
        if (common.width() >= *minW && common.width() <= *maxW && common.height() >= *minH
            && common.height() <= *maxH && common != sizes.front())
            sizes.push_back(common);
    }
    return sizes;
}

} // namespace

std::vector<CameraMode> GstCameraCatalog::modesOf(const GstCaps* caps, std::vector<QString>* unreadable)
{
    std::vector<CameraMode> modes;
    if (!caps)
        return modes;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        if (!gst_structure_has_name(structure, "video/x-raw")
            && !gst_structure_has_name(structure, "image/jpeg")) {
            if (unreadable)
                unreadable->push_back(QString::fromUtf8(gst_structure_get_name(structure)));
            continue;
        }
        const double rate = highestRate(gst_structure_get_value(structure, "framerate"));
        for (const QString& format : formatsOf(structure)) {
            if (!readable(format)) {
                if (unreadable)
                    unreadable->push_back(format);
                continue;
            }
            for (QSize size : sizesOf(structure)) {
                if (size.isEmpty() || size.width() > kLargestSide || size.height() > kLargestSide)
                    continue; // no picture, or one no camera makes and no frame buffer should hold
                CameraMode mode { format, size, rate };
                auto same = std::find_if(modes.begin(), modes.end(),
                    [&](const CameraMode& m) { return m.format == format && m.size == size; });
                if (same == modes.end())
                    modes.push_back(mode);
                else
                    same->framesPerSecond = std::max(same->framesPerSecond, rate);
            }
        }
    }
    if (unreadable) {
        std::sort(unreadable->begin(), unreadable->end());
        unreadable->erase(std::unique(unreadable->begin(), unreadable->end()), unreadable->end());
    }
    return modes;
}

Expected<std::vector<CameraInfo>> GstCameraCatalog::probe()
{
    using Result = Expected<std::vector<CameraInfo>>;
    if (const QString failure = gst::initialise(); !failure.isEmpty())
        return Result::failure(failure);
    gst::ObjectPtr<GstDeviceMonitor> monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    // Probed, not started: a started PipeWire provider corrupts the heap when it is stopped while
    // other PipeWire clients come and go (GStreamer 1.22 with PipeWire 0.3.65).
    GList* devices = gst_device_monitor_get_devices(monitor.get());

    std::vector<CameraInfo> cameras;
    for (GList* item = devices; item; item = item->next) {
        auto device = gst::shareDevice(GST_DEVICE(item->data)); // takes the list's reference
        gst::StructurePtr properties(gst_device_get_properties(device.get()));
        const GstStructure* props = properties.get();
        CameraInfo camera;
        gst::CharPtr name(gst_device_get_display_name(device.get()));
        camera.name = QString::fromUtf8(name.get());
        // PipeWire's own V4L2 nodes say device.api=v4l2 too: the provider tells them apart.
        const bool pipewire = QByteArray(G_OBJECT_TYPE_NAME(device.get())).contains("PipeWire");
        camera.api = pipewire ? CameraInfo::Api::PipeWire : CameraInfo::Api::V4l2;
        if (camera.api == CameraInfo::Api::V4l2) {
            camera.devicePath = stringProperty(props, "device.path");
            camera.id = camera.devicePath;
        } else {
            camera.id = stringProperty(props, "object.serial");
            camera.devicePath = stringProperty(props, "api.v4l2.path");
        }
        camera.location = stringProperty(props, "api.libcamera.location");
        bool ok = false;
        const int rotation = stringProperty(props, "api.libcamera.rotation").toInt(&ok);
        if (ok && rotation % 90 == 0)
            camera.rotation = ((rotation % 360) + 360) % 360;
        gst::CapsPtr caps(gst_device_get_caps(device.get()));
        camera.modes = modesOf(caps.get(), &camera.unreadableFormats);
        camera.device = std::move(device);
        cameras.push_back(std::move(camera));
    }
    g_list_free(devices);
    // Where PipeWire publishes cameras it also holds the V4L2 devices behind them: use its nodes.
    const bool pipewire = std::any_of(cameras.begin(), cameras.end(),
        [](const CameraInfo& c) { return c.api == CameraInfo::Api::PipeWire; });
    if (pipewire)
        std::erase_if(cameras, [](const CameraInfo& c) { return c.api == CameraInfo::Api::V4l2; });
    return cameras;
}

} // namespace platform
