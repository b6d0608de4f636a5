#include "platform/album/AssetsLibrary.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include "platform/album/AlbumFolder.h"
#include "platform/album/JpegMetadata.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/Log.h"

namespace platform {

namespace {

constexpr int kJpegQuality = 92;

AlbumFolder::Creation toCreation(AssetsLibrary::FolderCreation creation)
{
    return creation == AssetsLibrary::FolderCreation::IfMissing ? AlbumFolder::Creation::IfMissing
                                                                : AlbumFolder::Creation::Never;
}

} // namespace

AssetsLibrary::AssetsLibrary()
    : AssetsLibrary(defaultDirectory(), FolderCreation::IfMissing)
{
}

AssetsLibrary::AssetsLibrary(const QString& directory, FolderCreation creation)
    : m_folder(std::make_shared<const AlbumFolder>(directory, toCreation(creation)))
    , m_queue(std::make_unique<DispatchQueue>(QStringLiteral("album")))
{
}

AssetsLibrary::~AssetsLibrary()
{
    m_queue->drain(); // every operation already started delivers its blocks; the queue then joins
}

QString AssetsLibrary::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + QStringLiteral("/Lumivue");
}

QString AssetsLibrary::directory() const
{
    return m_folder->path();
}

void AssetsLibrary::enqueue(std::function<void()> work)
{
    m_queue->async([this, work = std::move(work)] {
        // Before the album's first work: a save killed mid-write left its temporary file.
        if (!m_swept) {
            m_swept = true;
            if (const int removed = m_folder->removeStaleTemporaryFiles())
                log(lcAlbum(), "Album: removed %d unfinished photo file%s", removed, removed == 1 ? "" : "s");
        }
        work();
    });
}

void AssetsLibrary::writeImageToSavedPhotosAlbum(
    const QImage& image, const MetadataDictionary& metadata, WriteCompletion completion)
{
    enqueue([folder = m_folder, image, metadata, completion = std::move(completion)] {
        const auto fail = [&](AlbumError error) {
            log(lcAlbum(), "Album write failed: %s", qPrintable(error.description()));
            if (completion)
                completion({}, error);
        };
        QByteArray jpeg = encodeJpeg(image, kJpegQuality);
        if (jpeg.isEmpty())
            return fail({ AlbumError::Kind::InvalidImage,
                QCoreApplication::translate("AssetsLibrary",
                    "The photo could not be saved: the image is empty or cannot be encoded.") });
        if (const auto problem = writeJpegMetadata(jpeg, metadata, image.size(), makeThumbnailJpeg(image)))
            return fail({ AlbumError::Kind::Metadata,
                QCoreApplication::translate(
                    "AssetsLibrary", "The photo could not be saved: its metadata could not be written (%1).")
                    .arg(*problem) });
        const AlbumFolder::Stored stored = folder->store(jpeg);
        if (stored.error)
            return fail(*stored.error);
        if (completion)
            completion(folder->urlForName(stored.name), std::nullopt);
    });
}

void AssetsLibrary::enumerateGroupsWithTypes(int types, GroupBlock groupBlock, FailureBlock failureBlock)
{
    enqueue([folder = m_folder, types, groupBlock = std::move(groupBlock),
                failureBlock = std::move(failureBlock)] {
        if (types & GroupSavedPhotos) {
            AlbumFolder::Listing listing = folder->list();
            if (listing.error) {
                if (failureBlock)
                    failureBlock(*listing.error);
                return;
            }
            if (groupBlock)
                groupBlock(std::make_shared<AssetsGroup>(folder, std::move(listing.names)));
        }
        if (groupBlock)
            groupBlock(nullptr);
    });
}

void AssetsLibrary::assetForURL(const AssetURL& url, ResultBlock resultBlock, FailureBlock failureBlock)
{
    enqueue([folder = m_folder, url, resultBlock = std::move(resultBlock),
                failureBlock = std::move(failureBlock)] {
        std::shared_ptr<Asset> asset;
        if (const auto name = folder->nameForURL(url)) {
            const AlbumFolder::Presence presence = folder->find(*name);
            if (presence.error) {
                if (failureBlock)
                    failureBlock(*presence.error);
                return;
            }
            if (presence.present)
                asset = std::make_shared<Asset>(folder, *name);
        }
        if (resultBlock)
            resultBlock(asset);
    });
}

} // namespace platform
