// lumivue-fuzz-seeds DIR: writes the seed corpus of every fuzz harness into DIR/<harness>/, made
// of real files written by the project's own writers — reports and session records by the
// analytics layer, archives by the session archive and keyed-archive writers, JPEGs by the
// album's encoder and metadata writer, answers as the uploader saves them and as servers send
// them, control scripts as people write them. Regenerated on every test run and before every fuzzing run;
// nothing binary is kept.

#include <cstdio>

#include <QBuffer>
#include <QCborArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTimeZone>

#include "analytics/TallyHTTPResponse.h"
#include "analytics/TallySession.h"
#include "analytics/TallySessionArchive.h"
#include "analytics/TallySessionStore.h"
#include "platform/album/ImagePropertyKeys.h"
#include "platform/album/JpegMetadata.h"
#include "platform/system/Clock.h"
#include "platform/system/KeyedArchive.h"

using namespace analytics;
using platform::MetadataDictionary;
namespace ip = platform::ImageProperty;

namespace {

QString g_root;
int g_written = 0;

void write(const char* harness, const QString& name, const QByteArray& bytes)
{
    const QDir dir(QDir(g_root).filePath(QLatin1String(harness)));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "lumivue-fuzz-seeds: cannot create %s\n", qPrintable(dir.path()));
        std::exit(1);
    }
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "lumivue-fuzz-seeds: cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
    ++g_written;
}

const QDateTime kStart = QDateTime::fromMSecsSinceEpoch(1336000000000, QTimeZone::utc());

// Sessions as recording leaves them: a bare one, and one with every kind of field filled.
std::shared_ptr<TallySession> bareSession()
{
    platform::Clock::setNow(kStart);
    return std::make_shared<TallySession>(QStringLiteral("KEY1"), QStringLiteral("1.0"));
}

std::shared_ptr<TallySession> fullSession()
{
    platform::Clock::setNow(kStart);
    auto session = std::make_shared<TallySession>(QStringLiteral("KEY 123"), QStringLiteral("2.1 \u00e9"));
    session->setUserID(QStringLiteral("user-7"));
    session->setGender(QStringLiteral("f"));
    session->setAge(30);
    session->setLatitude(48.8566123, -2.3522999, 10.0f, 30.0f);
    platform::Clock::setNow(kStart.addMSecs(1500));
    session->recordEvent(QStringLiteral("TAKE_PICTURE"));
    session->recordEvent(QStringLiteral("ZOOM"),
        QVariantMap { { QStringLiteral("level"), 3 }, { QStringLiteral("mode"), QStringLiteral("auto") } },
        true);
    platform::Clock::setNow(kStart.addMSecs(4200));
    session->endTimedEvent(QStringLiteral("ZOOM"));
    session->recordError(
        QStringLiteral("E1"), QStringLiteral("camera lost"), QStringLiteral("std::runtime_error: gone"));
    session->setPageViewCount(3);
    session->setEndTime(kStart.addSecs(60));
    return session;
}

void writeReports()
{
    const auto bare = bareSession();
    const auto full = fullSession();
    TallySession::setCurrentSession(full);
    write("report_decoder", QStringLiteral("report-empty"), TallySession::dataForSessions({}, false));
    write("report_decoder", QStringLiteral("report-one"),
        TallySession::dataForSessions({ bare->data() }, true));
    write("report_decoder", QStringLiteral("report-two"),
        TallySession::dataForSessions({ bare->data(), std::shared_ptr<const TallySession>(full) }, false));
    write("report_decoder", QStringLiteral("record-full"), full->data());
    // The collector's harness starts from whole reports, one with a session in it twice.
    write("collector_ingest", QStringLiteral("report-two"),
        TallySession::dataForSessions({ bare->data(), std::shared_ptr<const TallySession>(full) }, false));
    write("collector_ingest", QStringLiteral("report-repeated"),
        TallySession::dataForSessions({ full->data(), bare->data(), full->data() }, false));
    TallySession::setCurrentSession(nullptr);
}

void writeArchives()
{
    using platform::KeyedArchive;
    const auto bare = bareSession();
    const auto full = fullSession();
    write("archive_decoder", QStringLiteral("current-bare"), TallySessionArchive::sessionFile(bare->state()));
    write("archive_decoder", QStringLiteral("current-full"), TallySessionArchive::sessionFile(full->state()));
    QCborArray saved;
    saved.append(bare->data());
    saved.append(full->data());
    write("archive_decoder", QStringLiteral("saved-two"), KeyedArchive::archive(saved));
    write("archive_decoder", QStringLiteral("initial-timestamp"),
        KeyedArchive::archive(KeyedArchive::dateValue(kStart)));
}

QImage scene(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(10, 40, 10));
    QPainter painter(&image);
    painter.setPen(QColor(120, 255, 120));
    painter.drawEllipse(image.rect().adjusted(2, 2, -2, -2));
    return image;
}

// Whole PNGs and JPEGs (baseline, progressive) and the same cut short, for the structure check.
void writeImageFiles(const QImage& image, const QByteArray& jpeg)
{
    const auto encoded = [&](const char* format, int quality, bool progressive) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, format);
        writer.setQuality(quality);
        writer.setProgressiveScanWrite(progressive);
        writer.setText(QStringLiteral("Software"), QStringLiteral("Lumivue"));
        writer.write(image);
        return bytes;
    };
    const QByteArray png = encoded("png", -1, false);
    const QByteArray progressive = encoded("jpeg", 70, true);
    write("image_file_check", QStringLiteral("whole.png"), png);
    write("image_file_check", QStringLiteral("whole.jpg"), jpeg);
    write("image_file_check", QStringLiteral("progressive.jpg"), progressive);
    write("image_file_check", QStringLiteral("cut.png"), png.left(png.size() / 2));
    write(
        "image_file_check", QStringLiteral("cut-progressive.jpg"), progressive.left(progressive.size() / 2));
}

void writeJpegs()
{
    const QImage image = scene(48, 32);
    const QByteArray plain = platform::encodeJpeg(image, 70);
    write("jpeg_metadata", QStringLiteral("plain.jpg"), plain);
    writeImageFiles(image, plain);

    const QDateTime when(QDate(2024, 5, 6), QTime(7, 8, 9));
    const MetadataDictionary full {
        { ip::Orientation, 6 },
        { ip::TIFFDictionary,
            QVariantMap { { ip::TIFFMake, "Lumivue" }, { ip::TIFFModel, "Lumivue" },
                { ip::TIFFSoftware, "Lumivue" }, { ip::TIFFDateTime, when } } },
        { ip::ExifDictionary,
            QVariantMap { { ip::ExifExposureTime, 1.0 / 60.0 }, { ip::ExifFNumber, 2.4 },
                { ip::ExifISOSpeedRatings, QVariantList { 400 } }, { ip::ExifDateTimeOriginal, when },
                { ip::ExifDigitalZoomRatio, 1.5 },
                { ip::ExifUserComment, QString::fromUtf8("Nachtsicht \u00fcber dem See") } } },
        { ip::GPSDictionary,
            QVariantMap { { ip::GPSLatitude, 48.8566 }, { ip::GPSLatitudeRef, "N" },
                { ip::GPSLongitude, 2.3522 }, { ip::GPSLongitudeRef, "W" }, { ip::GPSAltitude, 35.5 },
                { ip::GPSAltitudeRef, 0 },
                { ip::GPSTimeStamp, QDateTime(QDate(2024, 5, 6), QTime(5, 8, 9), QTimeZone::utc()) } } },
        { ip::IPTCDictionary, QVariantMap { { ip::IPTCKeywords, QStringList { "night", "lake" } } } },
    };
    const MetadataDictionary small { { ip::Orientation, 3 } };
    struct Case {
        const char* name;
        const MetadataDictionary* metadata;
        bool thumbnail;
    };
    for (const Case& c : { Case { "exif-full.jpg", &full, true },
             Case { "exif-full-nothumb.jpg", &full, false }, Case { "orientation.jpg", &small, false } }) {
        QByteArray jpeg = plain;
        const QByteArray thumbnail = c.thumbnail ? platform::makeThumbnailJpeg(image) : QByteArray();
        if (const auto error = platform::writeJpegMetadata(jpeg, *c.metadata, image.size(), thumbnail)) {
            std::fprintf(stderr, "lumivue-fuzz-seeds: %s: %s\n", c.name, qPrintable(*error));
            std::exit(1);
        }
        write("jpeg_metadata", QString::fromLatin1(c.name), jpeg);
    }
}

void writeAnswers()
{
    const TallyHTTPResponse::Headers json { { QStringLiteral("Content-Type"),
        QStringLiteral("application/json") } };
    const struct {
        const char* name;
        TallyHTTPResponse answer;
    } saved[] = {
        { "ok", TallyHTTPResponse("{\"ok\":true}", 200, json, {}) },
        { "no-content", TallyHTTPResponse({}, 204, {}, {}) },
        { "redirect",
            TallyHTTPResponse({}, 307, { { QStringLiteral("Location"), QStringLiteral("/again") } }, {}) },
        { "server-error",
            TallyHTTPResponse(
                "busy", 503, { { QStringLiteral("Retry-After"), QStringLiteral("120") } }, {}) },
    };
    for (const auto& [name, answer] : saved)
        write("http_answer", QString::fromLatin1(name), answer.savedCopy());

    const struct {
        const char* name;
        const char* bytes;
    } wire[] = {
        { "ok",
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\n\r\n{\"ok\":true}" },
        { "no-content", "HTTP/1.1 204 No Content\r\n\r\n" },
        { "chunked",
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nthan\r\n3\r\nks!\r\n0\r\n\r\n" },
        { "close-delimited", "HTTP/1.0 200 OK\r\nConnection: close\r\n\r\nreceived" },
        { "redirect-same-origin",
            "HTTP/1.1 307 Temporary Redirect\r\nLocation: /report2.do\r\nContent-Length: 0\r\n\r\n" },
        { "redirect-other-origin",
            "HTTP/1.1 307 Temporary Redirect\r\nLocation: http://collector.invalid/r\r\nContent-Length: "
            "0\r\n\r\n" },
        { "server-error",
            "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 120\r\nContent-Length: 4\r\n\r\nbusy" },
    };
    for (const auto& [name, bytes] : wire)
        write("http_wire", QString::fromLatin1(name), QByteArray(bytes));
    // The same answers for the client's parts, with a 256-byte cap, as answers to a 307 (bytes 0
    // and 1, see http_parts.cpp); and an interim head before a chunked one whose trailers mimic a
    // redirect to another server.
    for (const auto& [name, bytes] : wire)
        write("http_parts", QString::fromLatin1(name), QByteArray("\x40\x04", 2) + bytes);
    write("http_parts", QStringLiteral("interim-and-trailers"),
        QByteArray(
            "\x40\x02HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
            "4\r\nthan\r\n0\r\nHTTP/1.1 302 Found\r\nLocation: http://collector.invalid/\r\n\r\n"));
}

void writeScripts()
{
    const struct {
        const char* name;
        const char* text;
    } scripts[] = {
        { "tour",
            "# a tour of the screen\ntap shutter\nslide gain 0.75\nchoose panel 1\norientation 3\n"
            "background\nforeground\nwait 0.1\nscreenshot shot.png\nquit\n" },
        { "mistakes",
            "tap\ntap nobody\ntap hidden\nslide gain nan\nslide shutter 1\nchoose panel x\n"
            "orientation 9\nwait -1\njump now\n\n   \n#\n" },
        { "press-drag-zoom",
            "press shutter 0.2\ndrag photo 10 -5\ndrag gain 40 0\nzoom photo 2\nzoom photo 0.5\nzoom panel "
            "3\n" },
    };
    for (const auto& [name, text] : scripts)
        write("script_line", QString::fromLatin1(name), QByteArray(text));
}

} // namespace

// What cameras offer, in the harness's field-by-field encoding: a webcam's fixed YUY2 size with a
// rate, and a libcamera node's ranged NV12 sizes.
void writeCameraCaps()
{
    const auto number = [](int value) {
        const auto v = static_cast<std::uint32_t>(value);
        QByteArray bytes;
        for (int shift : { 24, 16, 8, 0 })
            bytes.append(char((v >> shift) & 0xff));
        return bytes;
    };
    // name 0 (raw), format: one string 0 (YUY2), width/height: int, rate: a fraction.
    const QByteArray webcam = QByteArray("\0\1\0\1", 4) + number(640) + QByteArray("\1", 1) + number(480)
        + QByteArray("\1", 1) + number(30) + number(1);
    // format: one string 1 (NV12), width/height: ranges.
    const QByteArray ranged = QByteArray("\0\1\1\2", 4) + number(160) + number(2592) + QByteArray("\2", 1)
        + number(120) + number(1944) + QByteArray("\0", 1) + number(0) + number(0);
    write("camera_caps", QStringLiteral("webcam.caps"), webcam);
    write("camera_caps", QStringLiteral("ranged.caps"), webcam + ranged);
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv); // the JPEG encoder is a Qt Gui image plugin
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumivue-fuzz-seeds DIR\n");
        return 1;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    TallySessionStore::setInstance(std::make_shared<TallySessionStore>()); // nothing touches the disk
    writeReports();
    writeArchives();
    writeJpegs();
    writeAnswers();
    writeScripts();
    writeCameraCaps();
    std::printf("lumivue-fuzz-seeds: %d seed files in %s\n", g_written, qPrintable(g_root));
    return 0;
}
