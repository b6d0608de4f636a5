// The session-archive files: the keyed-archive envelope, a current session, the saved-sessions
// list and the initial timestamp. Any bytes decode or are refused with one line; and a session
// the store would read back survives being archived again unchanged (what a crashed session goes
// through on recovery).

#include <cstdint>
#include <cstdio>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>

#include "analytics/TallyArchiveDecoder.h"
#include "analytics/TallySessionArchive.h"
#include "platform/system/KeyedArchive.h"
#include "support/FuzzCheck.h"

using analytics::TallyArchiveDecoder;
using analytics::TallySessionArchive;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));

    const TallyArchiveDecoder::Result decoded = TallyArchiveDecoder::decode(bytes);
    if (!decoded.ok())
        FUZZ_CHECK(
            !decoded.error.isEmpty() && !decoded.error.contains(QLatin1Char('\n')), "a refusal is one line");
    if (!platform::KeyedArchive::unarchive(bytes))
        FUZZ_CHECK(!decoded.ok(), "what is not an archive does not decode");

    if (const auto state = TallySessionArchive::sessionFromFile(bytes)) {
        const auto again = TallySessionArchive::sessionFromFile(TallySessionArchive::sessionFile(*state));
        FUZZ_CHECK(again.has_value(), "a session read back can be archived and read again");
        FUZZ_CHECK(again->serializationVersion == TallySessionArchive::kSerializationVersion,
            "a session is archived in the current version");
        // A session of an unmarked (older) archive is upgraded to the current version; every
        // other field stays.
        QJsonObject before = TallyArchiveDecoder::sessionToJson(*state);
        QJsonObject after = TallyArchiveDecoder::sessionToJson(*again);
        before.remove(QStringLiteral("serializationVersion"));
        after.remove(QStringLiteral("serializationVersion"));
        if (before != after) {
            QStringList keys = before.keys() + after.keys();
            keys.removeDuplicates();
            for (const QString& key : keys)
                if (after.value(key) != before.value(key))
                    std::fprintf(stderr, "%s: %s became %s\n", qPrintable(key),
                        QJsonDocument(QJsonArray { before.value(key) })
                            .toJson(QJsonDocument::Compact)
                            .constData(),
                        QJsonDocument(QJsonArray { after.value(key) })
                            .toJson(QJsonDocument::Compact)
                            .constData());
        }
        FUZZ_CHECK(before == after, "archiving a session read back keeps every field");
    }
    return 0;
}
