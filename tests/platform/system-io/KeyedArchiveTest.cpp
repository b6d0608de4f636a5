#include "platform/system/KeyedArchive.h"
#include "platform/system/KeyedArchiveWriter.h"

#include <limits>
#include <random>

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using platform::KeyedArchive;

KeyedArchive sample()
{
    KeyedArchive object;
    object.encodeInt32("int32", -7);
    object.encodeInt64("int64", std::numeric_limits<qint64>::min() + 1);
    object.encodeDouble("double", 12.345);
    object.encodeFloat("float", 2.5f);
    object.encodeBool("bool", true);
    object.encodeString("string", QStringLiteral("Grüße \u263A"));
    object.encodeDate("date", QDateTime::fromMSecsSinceEpoch(1338508800123, QTimeZone::utc()));
    QCborMap counts;
    counts.insert(QStringLiteral("TAKE_PICTURE"), 3);
    object.encodeMap("map", counts);
    object.encodeList("list",
        QCborArray { 1, QStringLiteral("two"),
            KeyedArchive::dateValue(QDateTime::fromMSecsSinceEpoch(5, QTimeZone::utc())) });
    object.encodeBytes("bytes", QByteArray("\x00\x01\xff", 3));
    KeyedArchive inner;
    inner.encodeString("name", "TAKE_PICTURE");
    object.encodeObject("object", inner);
    return object;
}

TEST(KeyedArchive, TellsMissingKeysAndRejectsWrongTypes)
{
    const KeyedArchive object = sample();
    EXPECT_FALSE(object.contains("userID"));
    EXPECT_FALSE(object.decodeString("userID"));
    EXPECT_TRUE(object.contains("string"));

    EXPECT_FALSE(object.decodeInt32("string"));
    EXPECT_FALSE(object.decodeInt32("double"));
    EXPECT_FALSE(object.decodeInt32("int64")); // out of the 32-bit range
    EXPECT_FALSE(object.decodeBool("int32"));
    EXPECT_FALSE(object.decodeDate("string"));
    EXPECT_FALSE(object.decodeString("bytes"));
    EXPECT_FALSE(object.decodeObject("list"));
    EXPECT_FALSE(KeyedArchive::fromValue(QCborValue(3)));
}

// The session file's checksum pins what the streamed writer makes of the values sessions hold;
// these are the edges of the encoding they do not reach.
TEST(KeyedArchiveWriter, WritesWhatTheTreeFormWritesAtTheEncodingsEdges)
{
    platform::KeyedArchiveWriter writer;
    writer.beginObject(4);
    writer.key(QLatin1StringView("int64"));
    writer.int64(std::numeric_limits<qint64>::min() + 1);
    writer.key(QLatin1StringView("big"));
    writer.int64(std::numeric_limits<qint64>::max());
    writer.key(QLatin1StringView("date"));
    writer.date(QDateTime::fromMSecsSinceEpoch(-1, QTimeZone::utc()));
    writer.key(QLatin1StringView("bytes"));
    writer.bytes(QByteArray(300, '\x01'));
    writer.endObject();

    KeyedArchive tree;
    tree.encodeInt64("int64", std::numeric_limits<qint64>::min() + 1);
    tree.encodeInt64("big", std::numeric_limits<qint64>::max());
    tree.encodeDate("date", QDateTime::fromMSecsSinceEpoch(-1, QTimeZone::utc()));
    tree.encodeBytes("bytes", QByteArray(300, '\x01'));
    EXPECT_EQ(writer.bytes(), KeyedArchive::archive(tree.toValue()));
    const auto read = KeyedArchive::fromValue(*KeyedArchive::unarchive(writer.bytes()));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->decodeDate("date")->toMSecsSinceEpoch(), -1);
}

TEST(KeyedArchive, AnythingButOneWholeArchiveIsAbsent)
{
    const QByteArray good = KeyedArchive::archive(sample().toValue());
    ASSERT_TRUE(KeyedArchive::unarchive(good));

    // Every truncation, as a killed writer without atomic replacement would leave.
    for (qsizetype length = 0; length < good.size(); ++length)
        EXPECT_FALSE(KeyedArchive::unarchive(good.left(length))) << "prefix " << length;
    EXPECT_FALSE(KeyedArchive::unarchive(good + "x"));
    // Well-formed CBOR that is not one of our archives.
    EXPECT_FALSE(KeyedArchive::unarchive(sample().toValue().toCbor()));
    QCborMap future;
    future.insert(QStringLiteral("archive"), QStringLiteral("lumivue.keyed"));
    future.insert(QStringLiteral("version"), 2);
    future.insert(QStringLiteral("root"), 1);
    EXPECT_FALSE(KeyedArchive::unarchive(QCborValue(QCborTag(55799), future).toCbor()));

    std::mt19937 random(42);
    for (int round = 0; round < 500; ++round) {
        QByteArray noise(int(random() % 200), '\0');
        for (auto& byte : noise)
            byte = char(random());
        EXPECT_FALSE(KeyedArchive::unarchive(noise));
    }
}

} // namespace
