#include "EnhanceOptions.h"

#include <cmath>
#include <limits>

#include <QFileInfo>

namespace {

bool parseInt(const QString& text, std::int64_t min, std::int64_t max, std::int32_t* value)
{
    bool ok = false;
    const qlonglong number = text.trimmed().toLongLong(&ok, 10);
    if (!ok || number < min || number > max)
        return false;
    *value = static_cast<std::int32_t>(number);
    return true;
}

} // namespace

QString EnhanceOptions::usage()
{
    return QStringLiteral(
        "Usage: lumivue-enhance IN OUT [--mode off|auto|manual] [--level N] [--filter rgb|green|bw]\n"
        "                       [--threshold N] [--scene-level N] [--preview --radius R [--zoom Z]]\n"
        "       lumivue-enhance --stack IN1 IN2 ... OUT [options as above]\n"
        "\n"
        "Brightens and tints a picture exactly as the camera's night vision does, and prints the\n"
        "measurements as one JSON object:\n"
        "  "
        "{\"level\":L,\"imageLight\":{\"r\":R,\"g\":G,\"b\":B},\"scopeImageLevel\":S,\"window\":[x0,y0,x1,y1]"
        "}\n"
        "\n"
        "  IN                 a PNG or JPEG picture\n"
        "  OUT                where the result goes; .png (lossless) or .jpg/.jpeg\n"
        "  --stack            IN1 IN2 ... are pictures of one scene of the same size (2 to 16): they\n"
        "                     are aligned on IN1 (shifts up to 16 pixels) and merged, frames that\n"
        "                     disagree with the others left out of each pixel, before the enhancement;\n"
        "                     the JSON then also gives \"frames\":N and \"offsets\":[[dx,dy],...]\n"
        "  --mode M           off: no gain; auto (default): level from --scene-level and --threshold;\n"
        "                     manual: --level as given\n"
        "  --level N          the current level (gain (N + 8) / 8 for N >= 1), default 0\n"
        "  --filter F         rgb (default), green or bw\n"
        "  --threshold N      brightness at which the automatic mode stops brightening, default 100\n"
        "  --scene-level N    brightness measured on the previous frame, 0 to 765, default 0\n"
        "  --preview          process only the centre square, as for a live preview, and measure it\n"
        "                     (default: a still photo, the whole picture, no measurement)\n"
        "  --radius R         half the side of the centre square in pixels (with --preview)\n"
        "  --zoom Z           scope zoom; the square shrinks to R x (1 - Z), default 0 (with --preview)\n"
        "  --kernels          show the instruction set each pixel kernel runs on with this CPU\n"
        "                     (\"enhance: AVX2, denoise: AVX2, merge: AVX2, align: AVX2\")\n"
        "  --help             show this text\n"
        "  --version          show the version\n"
        "\n"
        "Exit status: 0 done, 2 bad arguments or input (OUT untouched), 1 the result could not be\n"
        "written (OUT untouched).\n");
}

std::optional<EnhanceOptions> EnhanceOptions::parse(const QStringList& arguments, QString* error)
{
    EnhanceOptions options;
    QStringList positional;
    bool radiusGiven = false;
    bool zoomGiven = false;
    auto fail = [error](const QString& message) {
        *error = message;
        return std::optional<EnhanceOptions> {};
    };
    constexpr std::int64_t kIntMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kIntMax = std::numeric_limits<std::int32_t>::max();

    for (int i = 0; i < arguments.size(); ++i) {
        QString argument = arguments[i];
        if (argument == QLatin1String("--version")) {
            options.version = true;
            return options;
        }
        if (argument == QLatin1String("--kernels")) {
            options.kernels = true;
            return options;
        }
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
            return options;
        }
        if (!argument.startsWith(QLatin1String("--")) || argument == QLatin1String("--")) {
            positional << argument;
            continue;
        }
        QString value;
        bool hasInlineValue = false;
        if (const int equals = argument.indexOf(QLatin1Char('=')); equals > 0) {
            value = argument.mid(equals + 1);
            argument.truncate(equals);
            hasInlineValue = true;
        }
        if (argument == QLatin1String("--stack")) {
            if (hasInlineValue)
                return fail(QStringLiteral("--stack takes no value"));
            options.stack = true;
            continue;
        }
        if (argument == QLatin1String("--preview")) {
            if (hasInlineValue)
                return fail(QStringLiteral("--preview takes no value"));
            options.preview = true;
            continue;
        }
        static const QStringList withValue
            = { "--mode", "--level", "--filter", "--threshold", "--scene-level", "--radius", "--zoom" };
        if (!withValue.contains(argument))
            return fail(QStringLiteral("unknown option %1 (see --help)").arg(argument));
        if (!hasInlineValue) {
            if (i + 1 >= arguments.size())
                return fail(QStringLiteral("%1 needs a value").arg(argument));
            value = arguments[++i];
        }

        if (argument == QLatin1String("--mode")) {
            static const QStringList modes = { "off", "auto", "manual" };
            const auto index = modes.indexOf(value);
            if (index < 0)
                return fail(QStringLiteral("--mode must be off, auto or manual, not '%1'").arg(value));
            options.mode = static_cast<std::int32_t>(index);
        } else if (argument == QLatin1String("--filter")) {
            static const QStringList filters = { "rgb", "green", "bw" };
            const auto index = filters.indexOf(value);
            if (index < 0)
                return fail(QStringLiteral("--filter must be rgb, green or bw, not '%1'").arg(value));
            options.filter = static_cast<std::int32_t>(index);
        } else if (argument == QLatin1String("--level")) {
            if (!parseInt(value, kIntMin, kIntMax, &options.level))
                return fail(QStringLiteral("--level must be a whole number, not '%1'").arg(value));
        } else if (argument == QLatin1String("--threshold")) {
            if (!parseInt(value, kIntMin, kIntMax, &options.threshold))
                return fail(QStringLiteral("--threshold must be a whole number, not '%1'").arg(value));
        } else if (argument == QLatin1String("--scene-level")) {
            if (!parseInt(value, 0, 765, &options.sceneLevel))
                return fail(QStringLiteral("--scene-level must be a whole number from 0 to 765, not '%1'")
                                .arg(value));
        } else if (argument == QLatin1String("--radius")) {
            if (!parseInt(value, 0, kIntMax, &options.radius))
                return fail(QStringLiteral("--radius must be a whole number of pixels, 0 or more, not '%1'")
                                .arg(value));
            radiusGiven = true;
        } else if (argument == QLatin1String("--zoom")) {
            bool ok = false;
            const float zoom = value.trimmed().toFloat(&ok);
            if (!ok || !std::isfinite(zoom))
                return fail(QStringLiteral("--zoom must be a number, not '%1'").arg(value));
            options.zoom = zoom;
            zoomGiven = true;
        }
    }

    if (options.stack) {
        if (positional.size() < 3 || positional.size() > 17)
            return fail(QStringLiteral("--stack expects 2 to 16 pictures and OUT, got %1 file names")
                            .arg(positional.size()));
    } else if (positional.size() != 2) {
        return fail(
            QStringLiteral("expected IN and OUT, got %1 file names (see --help)").arg(positional.size()));
    }
    options.output = positional.takeLast();
    options.inputs = positional;
    options.input = positional.first();
    if (options.preview && !radiusGiven)
        return fail(QStringLiteral("--preview needs --radius"));
    if (!options.preview && (radiusGiven || zoomGiven))
        return fail(QStringLiteral("--radius and --zoom need --preview"));

    const QString suffix = QFileInfo(options.output).suffix().toLower();
    if (suffix == QLatin1String("png"))
        options.outputFormat = "png";
    else if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        options.outputFormat = "jpeg";
    else
        return fail(
            QStringLiteral("cannot tell the format of %1: use .png, .jpg or .jpeg").arg(options.output));
    return options;
}
