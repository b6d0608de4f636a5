#include "platform/camera/V4l2Controls.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include <QFile>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>

#include "platform/core/Log.h"

namespace platform {

namespace {

constexpr double kExposureUnit = 100e-6; // seconds per step of exposure_time_absolute
constexpr double kZeroBasedGainSpan = 16.0;

int control(int fd, unsigned long request, void* argument)
{
    int result;
    do
        result = ::ioctl(fd, request, argument);
    while (result != 0 && errno == EINTR);
    return result;
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

enum class TextCase { AsIs, ControlName };

// A fixed-size, NUL-padded field of a V4L2 structure; as a control name,
// "Exposure Time, Absolute" -> "exposure_time_absolute".
QString text(const void* field, std::size_t size, TextCase textCase)
{
    const char* bytes = static_cast<const char*>(field);
    const QString human = QString::fromUtf8(bytes, qsizetype(strnlen(bytes, size)));
    if (textCase == TextCase::AsIs)
        return human;
    QString out;
    for (const QChar c : human) {
        if (c.isLetterOrNumber())
            out += c.toLower();
        else if (!out.isEmpty() && !out.endsWith(u'_'))
            out += u'_';
    }
    while (out.endsWith(u'_'))
        out.chop(1);
    return out;
}

std::int64_t onStep(std::int64_t value, std::int64_t minimum, std::int64_t maximum, std::int64_t step)
{
    value = std::clamp(value, minimum, maximum);
    if (step > 1)
        value = std::min(minimum + (value - minimum + step / 2) / step * step, maximum);
    return value;
}

bool hasValue(std::uint32_t type)
{
    switch (type) {
    case V4L2_CTRL_TYPE_INTEGER:
    case V4L2_CTRL_TYPE_BOOLEAN:
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
    case V4L2_CTRL_TYPE_BITMASK:
    case V4L2_CTRL_TYPE_INTEGER64:
        return true;
    default:
        return false;
    }
}

} // namespace

double V4l2GainScale::unit() const
{
    if (minimum > 0)
        return double(minimum);
    return maximum > minimum ? double(maximum - minimum) / (kZeroBasedGainSpan - 1.0) : 1.0;
}

double V4l2GainScale::gain(std::int64_t value) const
{
    return 1.0 + double(value - minimum) / unit();
}

std::int64_t V4l2GainScale::value(double gain) const
{
    if (!std::isfinite(gain))
        return minimum;
    const double raw = std::clamp(double(minimum) + (gain - 1.0) * unit(), double(minimum), double(maximum));
    return onStep(std::llround(raw), minimum, maximum, step);
}

struct V4l2Controls::Control {
    std::uint32_t id { 0 };
    std::uint32_t type { 0 };
    QString name;
    std::int64_t minimum { 0 };
    std::int64_t maximum { 0 };
    std::int64_t step { 1 };
    // Present, enabled, writable and with a range to move in.
    bool usable { false };
};

V4l2Controls::V4l2Controls(QString path, FileDescriptor fd)
    : m_path(std::move(path))
    , m_fd(std::move(fd))
{
}

Expected<V4l2Controls> V4l2Controls::open(const QString& devicePath)
{
    FileDescriptor fd(::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd.isValid())
        return Expected<V4l2Controls>::failure(
            QStringLiteral("cannot open %1: %2").arg(devicePath, errorText(errno)));
    // Sensor sub-devices do not answer VIDIOC_QUERYCAP, but every V4L2 node knows the control
    // ioctls: it lists a first control or says it has none (EINVAL). Any other answer (ENOTTY from
    // other devices, ENOSYS from an emulator that does not pass the ioctl on) is no V4L2 node.
    v4l2_capability capability {};
    if (control(fd.get(), VIDIOC_QUERYCAP, &capability) != 0) {
        v4l2_query_ext_ctrl first {};
        first.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        if (control(fd.get(), VIDIOC_QUERY_EXT_CTRL, &first) != 0 && errno != EINVAL)
            return Expected<V4l2Controls>::failure(QStringLiteral("%1 is not a V4L2 device").arg(devicePath));
    }
    return V4l2Controls(devicePath, std::move(fd));
}

QStringList V4l2Controls::describe() const
{
    QStringList lines;
    v4l2_query_ext_ctrl query {};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    std::uint32_t previous = 0;
    // Ids only grow; a driver that repeats one would otherwise keep this loop going for ever.
    while (control(m_fd.get(), VIDIOC_QUERY_EXT_CTRL, &query) == 0 && query.id > previous) {
        previous = query.id;
        if (!(query.flags & V4L2_CTRL_FLAG_DISABLED) && query.type != V4L2_CTRL_TYPE_CTRL_CLASS)
            lines << describe(query);
        query = {};
        query.id = previous | V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return lines;
}

QString V4l2Controls::describe(const v4l2_query_ext_ctrl& query) const
{
    QString line = text(query.name, sizeof query.name, TextCase::ControlName);
    if (!hasValue(query.type))
        return line
            + (query.type == V4L2_CTRL_TYPE_BUTTON ? QStringLiteral(" (button)")
                                                   : QStringLiteral(" (no number)"));

    std::int64_t now = 0;
    const bool readable = !(query.flags & V4L2_CTRL_FLAG_WRITE_ONLY) && read(query.id, query.type, now);
    line += QStringLiteral(" %1..%2 (default %3, now %4%5)")
                .arg(query.minimum)
                .arg(query.maximum)
                .arg(query.default_value)
                .arg(readable ? QString::number(now) : QStringLiteral("?"),
                    query.flags & V4L2_CTRL_FLAG_INACTIVE ? QStringLiteral(", inactive") : QString());
    if (query.type != V4L2_CTRL_TYPE_MENU && query.type != V4L2_CTRL_TYPE_INTEGER_MENU)
        return line;

    QStringList items;
    for (std::int64_t index = query.minimum; index <= query.maximum && index - query.minimum < 256; ++index) {
        v4l2_querymenu item {};
        item.id = query.id;
        item.index = std::uint32_t(index);
        if (control(m_fd.get(), VIDIOC_QUERYMENU, &item) != 0)
            continue; // menus may have gaps
        items << QStringLiteral("%1 %2").arg(index).arg(query.type == V4L2_CTRL_TYPE_MENU
                ? text(item.name, sizeof item.name, TextCase::AsIs)
                : QString::number(item.value));
    }
    return line + QStringLiteral(": ") + items.join(QStringLiteral(", "));
}

bool V4l2Controls::query(std::uint32_t id, Control& out) const
{
    v4l2_query_ext_ctrl query {};
    query.id = id;
    if (control(m_fd.get(), VIDIOC_QUERY_EXT_CTRL, &query) != 0 || !hasValue(query.type))
        return false;
    out.id = query.id;
    out.type = query.type;
    out.name = text(query.name, sizeof query.name, TextCase::ControlName);
    out.minimum = query.minimum;
    out.maximum = query.maximum;
    out.step = std::max<std::int64_t>(1, std::int64_t(query.step));
    out.usable = !(query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY))
        && query.maximum > query.minimum;
    return true;
}

bool V4l2Controls::read(std::uint32_t id, std::uint32_t type, std::int64_t& value) const
{
    v4l2_ext_control one {};
    one.id = id;
    v4l2_ext_controls request {};
    request.which = V4L2_CTRL_WHICH_CUR_VAL;
    request.count = 1;
    request.controls = &one;
    if (control(m_fd.get(), VIDIOC_G_EXT_CTRLS, &request) != 0)
        return false;
    value = type == V4L2_CTRL_TYPE_INTEGER64 ? one.value64 : one.value;
    return true;
}

bool V4l2Controls::write(const Control& target, std::int64_t value)
{
    v4l2_ext_control one {};
    one.id = target.id;
    if (target.type == V4L2_CTRL_TYPE_INTEGER64)
        one.value64 = value;
    else
        one.value = std::int32_t(value);
    v4l2_ext_controls request {};
    request.which = V4L2_CTRL_WHICH_CUR_VAL;
    request.count = 1;
    request.controls = &one;
    if (control(m_fd.get(), VIDIOC_S_EXT_CTRLS, &request) == 0)
        return true;
    const int error = errno;
    if (std::find(m_reported.begin(), m_reported.end(), target.id) == m_reported.end()) {
        m_reported.push_back(target.id);
        log(lcCamera(), "%s: cannot set %s to %lld: %s", qUtf8Printable(m_path), qUtf8Printable(target.name),
            static_cast<long long>(value), std::strerror(error));
    }
    return false;
}

bool V4l2Controls::gainControl(Control& out) const
{
    return (query(V4L2_CID_ANALOGUE_GAIN, out) && out.usable) || (query(V4L2_CID_GAIN, out) && out.usable);
}

ExposureLimits V4l2Controls::limits() const
{
    ExposureLimits limits;
    Control exposure;
    if (query(V4L2_CID_EXPOSURE_ABSOLUTE, exposure) && exposure.usable) {
        limits.hasExposure = true;
        limits.minExposure = double(exposure.minimum) * kExposureUnit;
        limits.maxExposure = double(exposure.maximum) * kExposureUnit;
    }
    Control gain;
    if (gainControl(gain)) {
        const V4l2GainScale scale { gain.minimum, gain.maximum, gain.step };
        limits.hasGain = true;
        limits.minGain = scale.gain(gain.minimum);
        limits.maxGain = scale.gain(gain.maximum);
    }
    return limits;
}

bool V4l2Controls::apply(const ExposureState& state)
{
    bool ok = true;
    Control exposure;
    const bool hasExposure = query(V4L2_CID_EXPOSURE_ABSOLUTE, exposure) && exposure.usable;
    Control gain;
    const bool hasGain = gainControl(gain);
    if (!m_automaticOff) {
        // Until the camera's own automatics let go, our values are refused or overridden.
        Control automatic;
        bool off = true;
        if (hasExposure && query(V4L2_CID_EXPOSURE_AUTO, automatic))
            off = write(automatic, V4L2_EXPOSURE_MANUAL) && off;
        if (hasGain && query(V4L2_CID_AUTOGAIN, automatic))
            off = write(automatic, 0) && off;
        m_automaticOff = off;
        ok = off;
    }
    if (hasExposure) {
        const double units = std::isfinite(state.exposureTime) ? state.exposureTime / kExposureUnit : 0.0;
        const std::int64_t value
            = onStep(std::llround(std::clamp(units, double(exposure.minimum), double(exposure.maximum))),
                exposure.minimum, exposure.maximum, exposure.step);
        ok = write(exposure, value) && ok;
    }
    if (hasGain) {
        const V4l2GainScale scale { gain.minimum, gain.maximum, gain.step };
        ok = write(gain, scale.value(state.analogueGain)) && ok;
    }
    return ok;
}

ExposureState V4l2Controls::current() const
{
    ExposureState state;
    Control exposure;
    std::int64_t value = 0;
    if (query(V4L2_CID_EXPOSURE_ABSOLUTE, exposure) && read(exposure.id, exposure.type, value))
        state.exposureTime = double(value) * kExposureUnit;
    Control gain;
    if (gainControl(gain) && read(gain.id, gain.type, value))
        state.analogueGain = V4l2GainScale { gain.minimum, gain.maximum, gain.step }.gain(value);
    return state;
}

} // namespace platform
