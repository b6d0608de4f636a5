#pragma once

// Owning handles for the GStreamer and GLib objects the real cameras use, so that every reference
// taken is dropped exactly once, on every path out of a function.
//
// Threads: value types; any thread.

#include <memory>

#include <gst/gst.h>

#include <QString>

namespace platform::gst {

// Calls `release` on the pointer a unique_ptr lets go of.
template <auto release> struct Releaser {
    template <typename T> void operator()(T* pointer) const { release(pointer); }
};

template <typename T> using ObjectPtr = std::unique_ptr<T, Releaser<gst_object_unref>>;
using CapsPtr = std::unique_ptr<GstCaps, Releaser<gst_caps_unref>>;
using MessagePtr = std::unique_ptr<GstMessage, Releaser<gst_message_unref>>;
using SamplePtr = std::unique_ptr<GstSample, Releaser<gst_sample_unref>>;
using StructurePtr = std::unique_ptr<GstStructure, Releaser<gst_structure_free>>;
using CharPtr = std::unique_ptr<gchar, Releaser<g_free>>;

// Shared ownership of a device found by the monitor: the catalog's snapshot and the stream that
// opened it may outlive each other.
inline std::shared_ptr<GstDevice> shareDevice(GstDevice* device)
{
    return std::shared_ptr<GstDevice>(device, [](GstDevice* own) { gst_object_unref(own); });
}

// Starts GStreamer once per process. Empty when it runs; otherwise why it cannot.
QString initialise();

} // namespace platform::gst
