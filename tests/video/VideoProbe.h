#pragma once

// What a recorded file holds, as a player finds it: the discoverer's view of the container and
// its streams, and the pictures decoded from it.

#include <chrono>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <QDate>
#include <QImage>
#include <QString>

#include "platform/camera/GstHandles.h"

namespace video_test {

struct Discovered {
    bool ok { false };
    QString error;
    QString container; // caps names: "video/quicktime", "video/webm"
    QString videoCodec; // "video/x-h264", "video/x-vp8"
    QString audioCodec; // empty without sound
    QSize size;
    double framesPerSecond { 0 };
    double seconds { 0 };
    bool seekable { false };
    double latitude { 0 }, longitude { 0 };
    QDate date; // of the recording
};

inline QString capsName(GstCaps* caps)
{
    const QString name = caps && gst_caps_get_size(caps)
        ? QString::fromUtf8(gst_structure_get_name(gst_caps_get_structure(caps, 0)))
        : QString();
    if (caps)
        gst_caps_unref(caps);
    return name;
}

inline Discovered discover(const QString& path)
{
    platform::gst::initialise();
    Discovered found;
    GError* error = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(20 * GST_SECOND, &error);
    gchar* uri = gst_filename_to_uri(path.toUtf8().constData(), nullptr);
    GstDiscovererInfo* info = discoverer ? gst_discoverer_discover_uri(discoverer, uri, &error) : nullptr;
    g_free(uri);
    if (error)
        found.error = QString::fromUtf8(error->message);
    g_clear_error(&error);
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        found.ok = true;
        GstDiscovererStreamInfo* top = gst_discoverer_info_get_stream_info(info);
        found.container = capsName(gst_discoverer_stream_info_get_caps(top));
        gst_discoverer_stream_info_unref(top);
        GList* videos = gst_discoverer_info_get_video_streams(info);
        if (videos) {
            auto* video = GST_DISCOVERER_VIDEO_INFO(videos->data);
            found.videoCodec
                = capsName(gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(video)));
            found.size = { int(gst_discoverer_video_info_get_width(video)),
                int(gst_discoverer_video_info_get_height(video)) };
            found.framesPerSecond = double(gst_discoverer_video_info_get_framerate_num(video))
                / std::max(1u, gst_discoverer_video_info_get_framerate_denom(video));
        }
        gst_discoverer_stream_info_list_free(videos);
        GList* audios = gst_discoverer_info_get_audio_streams(info);
        if (audios)
            found.audioCodec
                = capsName(gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(audios->data)));
        gst_discoverer_stream_info_list_free(audios);
        found.seconds = double(gst_discoverer_info_get_duration(info)) / GST_SECOND;
        found.seekable = gst_discoverer_info_get_seekable(info);
        if (const GstTagList* tags = gst_discoverer_info_get_tags(info)) {
            gst_tag_list_get_double(tags, GST_TAG_GEO_LOCATION_LATITUDE, &found.latitude);
            gst_tag_list_get_double(tags, GST_TAG_GEO_LOCATION_LONGITUDE, &found.longitude);
            GDate* day = nullptr;
            if (gst_tag_list_get_date(tags, GST_TAG_DATE, &day)) {
                found.date = QDate(g_date_get_year(day), g_date_get_month(day), g_date_get_day(day));
                g_date_free(day);
            }
        }
    } else if (found.error.isEmpty()) {
        found.error = QStringLiteral("the discoverer could not read it");
    }
    if (info)
        gst_discoverer_info_unref(info);
    if (discoverer)
        g_object_unref(discoverer);
    return found;
}

struct Decoded {
    int frames { 0 };
    double endSeconds { 0 }; // where the last picture ends
    QImage picture; // the picture at `pick`, BGRA
};

// Decodes every picture of `path`; keeps picture number `pick`.
inline Decoded decode(const QString& path, int pick = 0)
{
    platform::gst::initialise();
    Decoded decoded;
    gchar* location = g_strescape(path.toUtf8().constData(), nullptr);
    const QString description = QStringLiteral("filesrc location=\"%1\" ! decodebin ! videoconvert ! "
                                               "video/x-raw,format=BGRA ! appsink name=out sync=false")
                                    .arg(QString::fromUtf8(location));
    g_free(location);
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), nullptr);
    if (!pipeline)
        return decoded;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 20 * GST_SECOND)) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (GST_BUFFER_PTS_IS_VALID(buffer))
            decoded.endSeconds
                = double(GST_BUFFER_PTS(buffer)
                      + (GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0))
                / GST_SECOND;
        if (decoded.frames++ == pick) {
            GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
            int width = 0, height = 0;
            gst_structure_get_int(caps, "width", &width);
            gst_structure_get_int(caps, "height", &height);
            GstMapInfo map;
            if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                decoded.picture = QImage(map.data, width, height, width * 4, QImage::Format_ARGB32).copy();
                gst_buffer_unmap(buffer, &map);
            }
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return decoded;
}

// 'R', 'G', 'B', 'W' for a clear red, green, blue or white around `at` (fractions of the size).
inline char colourAt(const QImage& image, double x, double y)
{
    if (image.isNull())
        return '-';
    const QRgb p = image.pixel(int(x * image.width()), int(y * image.height()));
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    if (r > 180 && g > 180 && b > 180)
        return 'W';
    if (r > 150 && g < 90 && b < 90)
        return 'R';
    if (g > 150 && r < 90 && b < 90)
        return 'G';
    if (b > 150 && r < 90 && g < 90)
        return 'B';
    return '?';
}

// The four quarters, top left to bottom right.
inline std::string quarters(const QImage& image)
{
    return { colourAt(image, 0.25, 0.25), colourAt(image, 0.75, 0.25), colourAt(image, 0.25, 0.75),
        colourAt(image, 0.75, 0.75) };
}

} // namespace video_test
