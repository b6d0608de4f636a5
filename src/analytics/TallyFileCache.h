#pragma once

// A per-key store of archived values in the "Tally" subfolder of the caches directory
// (TallyPaths): the value for a prefix lives in "tallyCache_<prefix>_<key>.archive". One
// process-wide instance, made by createInstanceWithApiKey at start; nothing in this system stores
// into it yet. Prefixes and keys that could name a file outside that folder (a "/", a NUL, "." or
// "..") are refused. Files are written atomically and readable by their owner only.
//
// Any thread; creation of the instance is locked, file operations are independent.

#include <memory>
#include <optional>

#include <QCborValue>
#include <QString>

namespace analytics {

class TallyFileCache {
public:
    explicit TallyFileCache(QString apiKey)
        : m_apiKey(std::move(apiKey))
    {
    }
    TallyFileCache(const TallyFileCache&) = delete;
    TallyFileCache& operator=(const TallyFileCache&) = delete;

    // The first call creates the instance; later calls return it and ignore their key.
    static TallyFileCache* createInstanceWithApiKey(const QString& apiKey);
    static TallyFileCache* instance();
    static void destroyInstance(); // tests

    const QString& apiKey() const { return m_apiKey; }

    // The folder, created (owner-only) when missing; empty when it cannot be made.
    QString createDirectoryPath() const;
    // The file for a prefix; empty for a prefix or key that cannot be a plain file name.
    QString createFilePath(const QString& prefix) const;
    // Archives `object`; returns the path, or nothing when it cannot be written.
    std::optional<QString> save(const QCborValue& object, const QString& prefix) const;
    // The stored value; nothing when missing or undecodable.
    std::optional<QCborValue> get(const QString& prefix) const;
    bool remove(const QString& prefix) const;
    bool removeCache() const;

private:
    QString directoryPath() const;

    const QString m_apiKey;
};

} // namespace analytics
