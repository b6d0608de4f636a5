#include "analytics/TallyPaths.h"

#include <mutex>

#include <QDir>
#include <QStandardPaths>

namespace analytics {

namespace {

std::mutex g_mutex; // guards g_dataDirectory
QString g_dataDirectory;

QString overrideFolder()
{
    std::scoped_lock lock(g_mutex);
    return g_dataDirectory;
}

} // namespace

QString TallyPaths::libraryDirectory()
{
    QString folder = overrideFolder();
    if (!folder.isEmpty())
        return folder;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString TallyPaths::cachesDirectory()
{
    QString folder = overrideFolder();
    if (!folder.isEmpty())
        return QDir(folder).filePath(QStringLiteral("Caches"));
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

QString TallyPaths::documentsDirectory()
{
    QString folder = overrideFolder();
    if (!folder.isEmpty())
        return QDir(folder).filePath(QStringLiteral("Documents"));
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void TallyPaths::setDataDirectory(const QString& folder)
{
    std::scoped_lock lock(g_mutex);
    g_dataDirectory = folder.isEmpty() ? QString() : QDir(folder).absolutePath();
}

} // namespace analytics
