#pragma once

// The platform log: plain lines, no levels, no log file. Lines go to stderr unless a sink is
// installed (tests install one to read what was written). Any thread may log.
//
// Each line belongs to a Qt logging category, so a user can silence a part of the app with
// QT_LOGGING_RULES (for instance "lumivue.scope=false"); all are on by default. The category only
// decides whether the line is written: the line itself is written as it is, without a prefix.
//   lumivue.camera   the camera sources and the capture session
//   lumivue.scope    the camera screen's scope: devices, preview scale, frames, drawing
//   lumivue.photos   still capture, the thumbnail and the photo viewer
//   lumivue.album    the photo album's storage
//   lumivue.ui       the screen's lifecycle, alerts and layers
//   lumivue.app      start-up

#include <functional>

#include <QLoggingCategory>
#include <QString>

namespace platform {

Q_DECLARE_LOGGING_CATEGORY(lcCamera)
Q_DECLARE_LOGGING_CATEGORY(lcScope)
Q_DECLARE_LOGGING_CATEGORY(lcPhotos)
Q_DECLARE_LOGGING_CATEGORY(lcAlbum)
Q_DECLARE_LOGGING_CATEGORY(lcUi)
Q_DECLARE_LOGGING_CATEGORY(lcApp)

// Writes one line in `category` when the category is on. printf-style formatting; "%@" is not
// supported, callers format objects first.
void log(const QLoggingCategory& category, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logLine(const QLoggingCategory& category, const QString& line);
// Lines outside the app's categories (always written).
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logLine(const QString& line);

using LogSink = std::function<void(const QString& line)>;

// Replaces where lines go; an empty sink restores stderr. Returns the previous sink.
LogSink setLogSink(LogSink sink);

} // namespace platform
