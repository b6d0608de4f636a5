#pragma once

// The video tests' picture and what a recorded file holds, as a player finds it: the discoverer's
// view and the decoded pictures. The picture has four coloured quarters (red top left, green top
// right, blue bottom left, white bottom right) that tell upright from turned.

#include <gst/app/gstappsink.h>
#include <gst/pbutils/pbutils.h>

#include <chrono>
#include <thread>

#include <QDate>
#include <QImage>
#include <QPainter>

#include "platform/camera/GstHandles.h"
#include "platform/video/VideoRecorder.h"

namespace video_test {

struct Discovered {
    QString streams; // caps names, the container's first: "video/quicktime video/x-h264 audio/mpeg";
                     // empty when the file could not be read
    QSize size;
    double framesPerSecond { 0 }, seconds { 0 }, latitude { 0 }, longitude { 0 };
    QDate date;
};

inline Discovered discover(const QString& path)
{
    platform::gst::initialise();
    Discovered found;
    GstDiscoverer* discoverer = gst_discoverer_new(20 * GST_SECOND, nullptr);
    platform::gst::CharPtr uri(gst_filename_to_uri(path.toUtf8().constData(), nullptr));
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri.get(), nullptr);
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        GList* streams = gst_discoverer_info_get_stream_list(info);
        streams = g_list_prepend(streams, gst_discoverer_info_get_stream_info(info)); // the container
        for (GList* item = streams; item; item = item->next) {
            auto* stream = GST_DISCOVERER_STREAM_INFO(item->data);
            platform::gst::CapsPtr caps(gst_discoverer_stream_info_get_caps(stream));
            found.streams
                += QString::fromUtf8(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0))) + u' ';
            if (GST_IS_DISCOVERER_VIDEO_INFO(stream)) {
                auto* video = GST_DISCOVERER_VIDEO_INFO(stream);
                found.size = QSize(
                    gst_discoverer_video_info_get_width(video), gst_discoverer_video_info_get_height(video));
                found.framesPerSecond = double(gst_discoverer_video_info_get_framerate_num(video))
                    / std::max(1u, gst_discoverer_video_info_get_framerate_denom(video));
            }
        }
        gst_discoverer_stream_info_list_free(streams);
        found.streams = found.streams.trimmed();
        found.seconds = double(gst_discoverer_info_get_duration(info)) / GST_SECOND;
        const GstTagList* tags = gst_discoverer_info_get_tags(info);
        GDate* day = nullptr;
        if (tags && gst_tag_list_get_date(tags, GST_TAG_DATE, &day)) {
            found.date = QDate(g_date_get_year(day), g_date_get_month(day), g_date_get_day(day));
            g_date_free(day);
        }
        if (tags) {
            gst_tag_list_get_double(tags, GST_TAG_GEO_LOCATION_LATITUDE, &found.latitude);
            gst_tag_list_get_double(tags, GST_TAG_GEO_LOCATION_LONGITUDE, &found.longitude);
        }
    }
    if (info)
        gst_discoverer_info_unref(info);
    g_object_unref(discoverer);
    return found;
}

struct Decoded {
    int frames { 0 };
    double endSeconds { 0 }; // where the last picture ends
    QImage picture; // picture number `pick`
};

// Decodes every picture of `path` (until the end or the first error).
inline Decoded decode(const QString& path, int pick = 0)
{
    platform::gst::initialise();
    Decoded decoded;
    GstElement* pipeline = gst_parse_launch("filesrc name=in ! decodebin ! videoconvert ! "
                                            "video/x-raw,format=BGRA ! appsink name=out sync=false",
        nullptr);
    platform::gst::ObjectPtr<GstElement> source(gst_bin_get_by_name(GST_BIN(pipeline), "in"));
    platform::gst::ObjectPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(pipeline), "out"));
    g_object_set(source.get(), "location", path.toUtf8().constData(), nullptr);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (platform::gst::SamplePtr sample {
        gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 20 * GST_SECOND) }) {
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        decoded.endSeconds = double(GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer)) / GST_SECOND;
        GstMapInfo map;
        if (decoded.frames++ == pick && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
            int width = 0, height = 0;
            gst_structure_get(caps, "width", G_TYPE_INT, &width, "height", G_TYPE_INT, &height, nullptr);
            decoded.picture = QImage(map.data, width, height, width * 4, QImage::Format_ARGB32).copy();
            gst_buffer_unmap(buffer, &map);
        }
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return decoded;
}

// The four quarters' colours, top left to bottom right: 'R', 'G', 'B', 'W', or '?'.
inline std::string quarters(const QImage& image)
{
    std::string seen;
    for (const auto& [x, y] : { std::pair { 1, 1 }, { 3, 1 }, { 1, 3 }, { 3, 3 } }) {
        const QColor c
            = image.isNull() ? QColor() : image.pixelColor(x * image.width() / 4, y * image.height() / 4);
        seen += "?RG?B??W"[(c.red() > 128) + 2 * (c.green() > 128) + 4 * (c.blue() > 128)];
    }
    return seen;
}

// Submits `count` frames at `framesPerSecond` (forever when count < 0) until `after(n)`, called once
// frame n is in, says false.
template <typename After>
void feed(platform::VideoRecorder& recorder, int count, double framesPerSecond, After after)
{
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; count < 0 || n < count; ++n) {
        std::this_thread::sleep_until(start + std::chrono::duration<double>(n / framesPerSecond));
        if (auto frame = recorder.acquireFrame()) {
            QImage image = frame->image();
            QPainter painter(&image);
            const int w = image.width() / 2, h = image.height() / 2;
            painter.fillRect(0, 0, w, h, Qt::red);
            painter.fillRect(w, 0, w, h, Qt::green);
            painter.fillRect(0, h, w, h, Qt::blue);
            painter.fillRect(w, h, w, h, Qt::white);
            painter.end();
            recorder.submit(std::move(*frame));
        }
        if (!after(n))
            return;
    }
}

} // namespace video_test
