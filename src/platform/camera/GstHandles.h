#pragma once

// Owning handles for the GStreamer and GLib objects the real cameras use, so that every reference
// taken is dropped exactly once, on every path out of a function.
//
// Threads: value types; any thread.

#include <memory>

#include <gst/gst.h>

#include <QString>

namespace platform::gst {

struct ObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <typename T> using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct CapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
using CapsPtr = std::unique_ptr<GstCaps, CapsUnref>;

struct MessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessagePtr = std::unique_ptr<GstMessage, MessageUnref>;

struct SampleUnref {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
using SamplePtr = std::unique_ptr<GstSample, SampleUnref>;

struct StructureFree {
    void operator()(GstStructure* structure) const { gst_structure_free(structure); }
};
using StructurePtr = std::unique_ptr<GstStructure, StructureFree>;

struct CharFree {
    void operator()(gchar* text) const { g_free(text); }
};
using CharPtr = std::unique_ptr<gchar, CharFree>;

// Shared ownership of a device found by the monitor: the catalog's snapshot and the stream that
// opened it may outlive each other.
inline std::shared_ptr<GstDevice> shareDevice(GstDevice* device)
{
    return std::shared_ptr<GstDevice>(device, [](GstDevice* own) { gst_object_unref(own); });
}

// Starts GStreamer once per process. Empty when it runs; otherwise why it cannot.
QString initialise();

} // namespace platform::gst
