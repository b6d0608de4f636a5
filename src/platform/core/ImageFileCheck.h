#pragma once

// Damage in PNG and JPEG files that the decoders either do not report or pay for dearly, found by
// walking the file's structure before anything is decoded:
// - a PNG chunk whose length runs past the end of the file (libpng allocates what a text chunk
//   claims, up to 2 GB, before it finds the bytes missing), or a PNG that ends before IEND;
// - a JPEG that ends before its end-of-image marker (libjpeg fills the missing rows with grey and
//   calls the picture good).
// Other formats pass unchecked; Qt's own allocation limit guards their pixel buffers.
//
// Any thread.

#include <optional>

#include <QByteArray>
#include <QString>

namespace platform {

// What is wrong with the bytes ("the tEXt chunk claims 2147483647 bytes, the file holds 312
// more"), or nothing when the structure is whole or the format is neither PNG nor JPEG.
std::optional<QString> imageDamage(QByteArrayView bytes);
// The same for a file, read through a memory map; a file that cannot be opened has no damage
// found here (the decoder reports it).
std::optional<QString> imageFileDamage(const QString& path);

} // namespace platform
