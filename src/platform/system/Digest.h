#pragma once

// Message digests. Any thread.

#include <QByteArray>

namespace platform {

class Digest {
public:
    Digest() = delete;

    // The 20-byte SHA-1 digest of the bytes.
    static QByteArray sha1(const QByteArray& bytes);
};

} // namespace platform
