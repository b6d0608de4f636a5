#pragma once

// The analytics layer's folders (TallyPaths) as a process owns them: made, held by one process
// at a time, emptied again when the user turns analytics off, and said so when unusable.
//
// One process at a time: takeOwnership() makes the library folder and takes an advisory lock
// (flock) on ".tallyLock" in it, held until the process ends; the kernel drops it even after a
// kill -9. A second process on the same folder must record nothing: it would take the first
// one's live session for a crashed one, and that session would be saved and sent twice.
//
// Folders: makeFolder() leaves an empty ".tallyFolderCreated" in a folder it had to create.
// Removal takes away a folder only when it holds that marker and nothing else, so a folder the
// user made (a --data-dir, the documents folder) stays, empty or not; the marker goes either way.
//
// Removal deletes files by the exact names the layer gives them: the store's files under their
// current and older names, their previous, temporary and set-aside (".damaged", ".oversized")
// copies (TallyFileSessionStore::isStoreFileName), the file cache's files, the debug copies of
// answers, then the lock and the markers. A user's "MyTally-budget.ods" beside them stays.
//
// Unusable folders (a dangling link, a read-only or full disk) are told once per process, as
// one line in the log, whether or not the debug log is on: otherwise usage would go unrecorded
// without a word.
//
// Main thread, except warnUnwritable() (any thread).

#include <optional>

#include <QString>
#include <QStringList>

namespace analytics {

class TallyDataFolder {
public:
    TallyDataFolder() = delete;

    enum class Ownership { Owned, InUse, Unusable };
    // Makes the library folder and locks it for this process. InUse and Unusable are logged.
    static Ownership takeOwnership();

    // Makes `folder` and its missing parents; the marker goes into `folder` when it was missing.
    // False with the reason in `whyNot` when it cannot be made.
    static bool makeFolder(const QString& folder, QString* whyNot = nullptr);

    // Deletes the layer's files and the folders it made (see above); returns the files that held
    // usage data. Absent, with nothing deleted, when another process owns the library folder.
    static std::optional<QStringList> removeStoredData();

    // Logs "Analytics: cannot write to FOLDER: REASON; ..." the first time it is called.
    static void warnUnwritable(const QString& folder, const QString& reason);
};

} // namespace analytics
