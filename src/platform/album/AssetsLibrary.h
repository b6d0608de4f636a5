#pragma once

// The photo album: a folder of JPEG photos and videos (see AlbumFolder.h for the layout on disk).
//
// Every operation returns at once; its work and its blocks run later, in call order, on the
// library's own worker thread. Destroying the library waits for every operation already started
// to finish and deliver its blocks, so no block ever runs after the destructor has returned.
// Callers keep the library alive until they no longer need its blocks; blocks must not destroy
// the library that runs them.
//
// All public methods: any thread.

#include <functional>
#include <memory>
#include <optional>

#include <QImage>
#include <QString>

#include "platform/album/AlbumError.h"
#include "platform/album/Asset.h"
#include "platform/album/AssetURL.h"
#include "platform/album/AssetsGroup.h"
#include "platform/core/MetadataDictionary.h"

namespace platform {

class AlbumFolder;
class DispatchQueue;

class AssetsLibrary {
public:
    static constexpr int GroupSavedPhotos = 16;

    // Exactly one of url and error is meaningful: error is empty on success.
    using WriteCompletion = std::function<void(const AssetURL& url, const std::optional<AlbumError>& error)>;
    // Once per matching group, then once with no group.
    using GroupBlock = std::function<void(const std::shared_ptr<AssetsGroup>& group)>;
    // The asset, or none when the URL names no photo of this album.
    using ResultBlock = std::function<void(const std::shared_ptr<Asset>& asset)>;
    using FailureBlock = std::function<void(const AlbumError& error)>;

    enum class FolderCreation { IfMissing, Never };

    // The user's album: the Pictures folder's "Lumivue" sub-folder, created on the first save.
    AssetsLibrary();
    // An album in `directory`; with FolderCreation::Never a missing folder fails each save. The
    // first operation of either starts by removing the folder's stale temporary files
    // (AlbumFolder::removeStaleTemporaryFiles).
    explicit AssetsLibrary(const QString& directory, FolderCreation creation = FolderCreation::Never);
    ~AssetsLibrary();
    AssetsLibrary(const AssetsLibrary&) = delete;
    AssetsLibrary& operator=(const AssetsLibrary&) = delete;

    static QString defaultDirectory();
    QString directory() const;

    // Encodes the image as JPEG (quality 92) with the metadata and an EXIF thumbnail and adds it
    // as the album's newest photo. On failure nothing is left in the folder.
    void writeImageToSavedPhotosAlbum(
        const QImage& image, const MetadataDictionary& metadata, WriteCompletion completion);

    // Only GroupSavedPhotos (16) exists. A folder that does not exist yet is an empty group;
    // one that cannot be read calls the failure block instead.
    void enumerateGroupsWithTypes(int types, GroupBlock groupBlock, FailureBlock failureBlock);

    void assetForURL(const AssetURL& url, ResultBlock resultBlock, FailureBlock failureBlock);

private:
    // Runs `work` on the album's worker, after the stale temporary files the first time.
    void enqueue(std::function<void()> work);

    std::shared_ptr<const AlbumFolder> m_folder;
    std::unique_ptr<DispatchQueue> m_queue; // "album": every operation and every block runs here
    bool m_swept { false }; // the album's worker only
};

} // namespace platform
