#include "platform/video/Microphone.h"

#include <gst/gst.h>

#include "platform/camera/GstHandles.h"

namespace platform {

namespace {

bool isMonitor(GstDevice* device)
{
    gst::StructurePtr properties(gst_device_get_properties(device));
    if (!properties)
        return false;
    const gchar* deviceClass = gst_structure_get_string(properties.get(), "device.class");
    return deviceClass && g_str_equal(deviceClass, "monitor");
}

bool isDefault(GstDevice* device)
{
    gst::StructurePtr properties(gst_device_get_properties(device));
    gboolean marked = FALSE;
    return properties && gst_structure_get_boolean(properties.get(), "is-default", &marked) && marked;
}

} // namespace

GstElement* Microphone::makeDefaultSource(QString* name)
{
    if (!gst::initialise().isEmpty())
        return nullptr;
    gst::ObjectPtr<GstDeviceMonitor> monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Audio/Source", nullptr);
    // Probed, not started: a started PipeWire provider corrupts the heap when it is stopped while
    // other PipeWire clients come and go (GStreamer 1.22 with PipeWire 0.3.65).
    GList* devices = gst_device_monitor_get_devices(monitor.get());
    GstDevice* chosen = nullptr;
    for (GList* item = devices; item; item = item->next) {
        auto* device = GST_DEVICE(item->data);
        if (isMonitor(device))
            continue;
        if (!chosen || isDefault(device))
            chosen = device;
        if (isDefault(device))
            break;
    }
    GstElement* source = chosen ? gst_device_create_element(chosen, "microphone") : nullptr;
    if (source && name) {
        gst::CharPtr display(gst_device_get_display_name(chosen));
        *name = QString::fromUtf8(display.get());
    }
    g_list_free_full(devices, gst_object_unref);
    return source;
}

} // namespace platform
