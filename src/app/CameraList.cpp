#include "CameraList.h"

#include <algorithm>
#include <map>

#include <QStringList>

#include "platform/camera/GstCameraCatalog.h"

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

} // namespace

int printCameraList(std::FILE* out)
{
    auto found = platform::GstCameraCatalog::probe();
    if (!found) {
        std::fprintf(stderr, "lumivue: cannot look for cameras: %s\n", qUtf8Printable(found.error()));
        return 1;
    }
    if (found->empty()) {
        std::fprintf(out, "No camera found (neither PipeWire nor V4L2 offers one); the app shows its "
                          "synthetic camera.\n");
        return 0;
    }
    for (const platform::CameraInfo& camera : found.value()) {
        const QString select = QStringLiteral("%1:%2").arg(camera.apiName(), camera.name);
        std::fprintf(out, "%s\n", qUtf8Printable(camera.name));
        std::fprintf(out, "  use with:  --camera \"%s\"\n", qUtf8Printable(select));
        std::fprintf(out, "  found as:  %s %s\n", qUtf8Printable(camera.apiName()), qUtf8Printable(camera.id));
        std::fprintf(out, "  faces:     %s\n", qUtf8Printable(facing(camera)));
        std::fprintf(out, "  mounting:  %s\n", qUtf8Printable(mounting(camera)));
        std::fprintf(out, "  formats:   %s\n", qUtf8Printable(formats(camera)));
        if (!camera.unreadableFormats.empty()) {
            QStringList unreadable(camera.unreadableFormats.begin(), camera.unreadableFormats.end());
            std::fprintf(out, "  ignored:   %s (no decoder)\n", qUtf8Printable(unreadable.join(QStringLiteral(", "))));
        }
        std::fprintf(out, "  controls:  none offered; exposure and gain are left to the camera\n");
    }
    return 0;
}
