#include "analytics/TallyFileCache.h"

#include <mutex>

#include <QDir>
#include <QFile>

#include "analytics/TallyDataFolder.h"
#include "analytics/TallyPaths.h"
#include "platform/system/AtomicFileWriter.h"
#include "platform/system/KeyedArchive.h"

namespace analytics {

namespace {

std::mutex g_instanceMutex; // guards g_instance
std::unique_ptr<TallyFileCache> g_instance;

bool isPlainNamePart(const QString& text)
{
    return !text.contains(QLatin1Char('/')) && !text.contains(QChar(0)) && text != QLatin1String(".")
        && text != QLatin1String("..");
}

} // namespace

TallyFileCache* TallyFileCache::createInstanceWithApiKey(const QString& apiKey)
{
    std::scoped_lock lock(g_instanceMutex);
    if (!g_instance)
        g_instance = std::make_unique<TallyFileCache>(apiKey);
    return g_instance.get();
}

TallyFileCache* TallyFileCache::instance()
{
    std::scoped_lock lock(g_instanceMutex);
    return g_instance.get();
}

void TallyFileCache::destroyInstance()
{
    std::scoped_lock lock(g_instanceMutex);
    g_instance.reset();
}

QString TallyFileCache::directoryPath() const
{
    return QDir(TallyPaths::cachesDirectory()).filePath(QStringLiteral("Tally"));
}

QString TallyFileCache::createDirectoryPath() const
{
    // Made a step at a time, so each folder made here is marked as the layer's (TallyDataFolder).
    const QString path = directoryPath();
    return TallyDataFolder::makeFolder(TallyPaths::cachesDirectory()) && TallyDataFolder::makeFolder(path)
        ? path
        : QString();
}

QString TallyFileCache::createFilePath(const QString& prefix) const
{
    if (!isPlainNamePart(prefix) || !isPlainNamePart(m_apiKey))
        return {};
    return QDir(directoryPath()).filePath(QStringLiteral("tallyCache_%1_%2.archive").arg(prefix, m_apiKey));
}

std::optional<QString> TallyFileCache::save(const QCborValue& object, const QString& prefix) const
{
    const QString path = createFilePath(prefix);
    if (path.isEmpty() || createDirectoryPath().isEmpty())
        return std::nullopt;
    if (!platform::AtomicFileWriter::write(path, platform::KeyedArchive::archive(object)))
        return std::nullopt;
    return path;
}

std::optional<QCborValue> TallyFileCache::get(const QString& prefix) const
{
    const QString path = createFilePath(prefix);
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return platform::KeyedArchive::unarchive(file.readAll());
}

bool TallyFileCache::remove(const QString& prefix) const
{
    const QString path = createFilePath(prefix);
    return !path.isEmpty() && QFile::remove(path);
}

bool TallyFileCache::removeCache() const
{
    QDir directory(directoryPath());
    return directory.exists() && directory.removeRecursively();
}

} // namespace analytics
