#pragma once

// The exposure and gain controls of one V4L2 device node: a capture node (/dev/videoN) or a
// sensor's sub-device (/dev/v4l-subdevN), whichever carries the controls. Exposure comes from
// exposure_time_absolute (units of 100 us); gain from analogue_gain, or else from gain. V4L2 gives
// neither gain control a unit, so its gain is a linear reading of the range (see V4l2GainScale)
// and the ISO derived from it is an estimate.
//
// Threads: not thread-safe; one thread at a time (the camera's streaming thread once streaming).
// Separate instances on the same node are independent.

#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/camera/Expected.h"
#include "platform/camera/ExposurePlanner.h"
#include "platform/system/FileDescriptor.h"

struct v4l2_query_ext_ctrl;

namespace platform {

// A gain control's raw values read as linear gain with unity at the lowest value. When that value
// is positive it is the unit (min -> 1.0, max -> max / min), as sensor gain registers usually
// count in fractions of unity; a range starting at 0 or below has no unit to read, so it is
// spread over 1.0 .. 16.0 (24 dB, a common sensor analogue range).
struct V4l2GainScale {
    std::int64_t minimum { 0 };
    std::int64_t maximum { 0 };
    std::int64_t step { 1 };

    double gain(std::int64_t value) const;
    // The nearest value the control accepts, within its range and on its step.
    std::int64_t value(double gain) const;

private:
    double unit() const;
};

class V4l2Controls {
public:
    // Opens the node read-write, non-blocking. Fails with a one-line reason:
    // "cannot open /dev/video0: Permission denied", "/dev/null is not a V4L2 device".
    static Expected<V4l2Controls> open(const QString& devicePath);

    const QString& devicePath() const { return m_path; }

    // One line per enabled control: "name min..max (default D, now V)", menus followed by their
    // items ("1 Manual Mode, 3 Aperture Priority Mode"). Names are V4L2's, in lower case with '_'.
    QStringList describe() const;
    ExposureLimits limits() const;
    // Switches automatic exposure and gain off the first time, then sets what the camera offers.
    // False when a control refused; each refusing control is logged once, not per frame.
    bool apply(const ExposureState& state);
    // What is in force; fields the camera has no control for are 0 (exposure) and 1.0 (gain).
    ExposureState current() const;

private:
    struct Control;

    V4l2Controls(QString path, FileDescriptor fd);
    QString describe(const v4l2_query_ext_ctrl& query) const;
    bool query(std::uint32_t id, Control& control) const;
    bool read(std::uint32_t id, std::uint32_t type, std::int64_t& value) const;
    bool write(const Control& control, std::int64_t value);
    bool gainControl(Control& control) const;

    QString m_path;
    FileDescriptor m_fd;
    bool m_automaticOff { false };
    std::vector<std::uint32_t> m_reported; // controls whose refusal was logged
};

} // namespace platform
