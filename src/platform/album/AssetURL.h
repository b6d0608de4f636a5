#pragma once

// The album's identifier of one photo. Opaque: callers store it, log it, compare it and hand it
// back to AssetsLibrary::assetForURL; only the album looks inside, and it checks the text on
// every lookup, so a stored or forged value can never name anything outside its album.
// A plain value; any thread.

#include <utility>

#include <QMetaType>
#include <QString>

namespace platform {

class AssetURL {
public:
    AssetURL() = default;

    // Restores a value from its text (for example one read back from a settings file).
    static AssetURL fromString(const QString& text) { return AssetURL(text); }

    const QString& toString() const { return m_text; }
    bool isEmpty() const { return m_text.isEmpty(); }

    friend bool operator==(const AssetURL&, const AssetURL&) = default;

private:
    explicit AssetURL(QString text)
        : m_text(std::move(text))
    {
    }

    QString m_text;
};

} // namespace platform

Q_DECLARE_METATYPE(platform::AssetURL)
