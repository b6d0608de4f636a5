#include "platform/system/Digest.h"

#include <QCryptographicHash>

namespace platform {

QByteArray Digest::sha1(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

} // namespace platform
