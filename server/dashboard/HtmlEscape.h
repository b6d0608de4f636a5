#pragma once

// Text from the reports made safe for the page: the markup characters as entities, so the same
// result is right in HTML and SVG content and in quoted attribute values; and what XML forbids
// (control characters, lone surrogates, U+FFFE/U+FFFF) as U+FFFD, so a hostile report cannot make
// the page malformed. Every string that comes from the data goes through here. Any thread.

#include <QString>
#include <QStringView>

namespace collector {

QString htmlEscape(QStringView text);

// At most `length` characters of `text` (a surrogate pair is never split), an ellipsis marking a
// cut. Not escaped.
QString shortened(const QString& text, qsizetype length);

} // namespace collector
