#include "CameraList.h"

#include <algorithm>
#include <map>

#include <QStringList>

#include "platform/camera/GstCameraCatalog.h"
#include "platform/camera/V4l2Controls.h"

namespace {

QString facing(const platform::CameraInfo& camera)
{
    if (camera.location.isEmpty())
        return QStringLiteral("not said (treated as an external camera, previewed mirrored)");
    return camera.location;
}

QString mounting(const platform::CameraInfo& camera)
{
    if (!camera.rotation)
        return QStringLiteral("not said (treated as 0, an upright landscape camera)");
    return QStringLiteral("%1 degrees").arg(*camera.rotation);
}

// "YUY2 640x480@30, 1280x720@10; MJPG 1920x1080@30" — one group per format.
QString formats(const platform::CameraInfo& camera)
{
    std::map<QString, QStringList> byFormat;
    for (const platform::CameraMode& mode : camera.modes)
        byFormat[mode.format] << QStringLiteral("%1x%2%3")
                                     .arg(mode.size.width())
                                     .arg(mode.size.height())
                                     .arg(mode.framesPerSecond > 0
                                             ? QStringLiteral("@%1").arg(mode.framesPerSecond, 0, 'g', 3)
                                             : QString());
    QStringList groups;
    for (const auto& [format, sizes] : byFormat)
        groups << format + QLatin1Char(' ') + sizes.join(QStringLiteral(", "));
    return groups.isEmpty() ? QStringLiteral("none we can read") : groups.join(QStringLiteral("; "));
}

// The controls, and whether automatic exposure can use them.
void printControls(std::FILE* out, const platform::CameraInfo& camera)
{
    if (camera.devicePath.isEmpty()) {
        std::fprintf(out,
            "  controls:  none published to us (PipeWire does not pass this camera's controls on); "
            "exposure and gain are left to the camera\n");
        return;
    }
    auto controls = platform::V4l2Controls::open(camera.devicePath);
    if (!controls) {
        std::fprintf(out, "  controls:  unreadable: %s\n", qUtf8Printable(controls.error()));
        return;
    }
    const platform::ExposureLimits limits = controls->limits();
    if (!limits.hasExposure && !limits.hasGain)
        std::fprintf(out, "  exposure:  no exposure time or gain control; exposure is left to the camera\n");
    else
        std::fprintf(out, "  exposure:  automatic mode drives %s\n",
            limits.hasExposure && limits.hasGain ? "exposure time, then analogue gain"
                : limits.hasExposure             ? "exposure time (no gain control)"
                                                 : "analogue gain (no exposure time control)");
    const QStringList lines = controls->describe();
    std::fprintf(out, "  controls:  %s\n", lines.isEmpty() ? "none" : "");
    for (const QString& line : lines)
        std::fprintf(out, "    %s\n", qUtf8Printable(line));
}

} // namespace

int printCameraList(std::FILE* out)
{
    auto found = platform::GstCameraCatalog::probe();
    if (!found) {
        std::fprintf(stderr, "lumivue: cannot look for cameras: %s\n", qUtf8Printable(found.error()));
        return 1;
    }
    if (found->empty()) {
        std::fprintf(out,
            "No camera found (neither PipeWire nor V4L2 offers one); the app shows its "
            "synthetic camera.\n");
        return 0;
    }
    for (const platform::CameraInfo& camera : found.value()) {
        const QString select = QStringLiteral("%1:%2").arg(camera.apiName(), camera.name);
        std::fprintf(out, "%s\n", qUtf8Printable(camera.name));
        std::fprintf(out, "  use with:  --camera \"%s\"\n", qUtf8Printable(select));
        std::fprintf(
            out, "  found as:  %s %s\n", qUtf8Printable(camera.apiName()), qUtf8Printable(camera.id));
        std::fprintf(out, "  faces:     %s\n", qUtf8Printable(facing(camera)));
        std::fprintf(out, "  mounting:  %s\n", qUtf8Printable(mounting(camera)));
        std::fprintf(out, "  formats:   %s\n", qUtf8Printable(formats(camera)));
        if (!camera.unreadableFormats.empty()) {
            QStringList unreadable(camera.unreadableFormats.begin(), camera.unreadableFormats.end());
            std::fprintf(
                out, "  ignored:   %s (no decoder)\n", qUtf8Printable(unreadable.join(QStringLiteral(", "))));
        }
        printControls(out, camera);
    }
    return 0;
}
