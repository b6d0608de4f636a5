#pragma once

// Where the analytics layer keeps its files (the directory layout is documented in
// docs/analytics-persistence.md):
//  - the library directory: the four session files; Qt's app-data location by default;
//  - the caches directory: the "Tally" file cache; Qt's cache location by default;
//  - the documents directory: debug copies of server answers; the user's documents by default.
// `setDataDirectory` moves all three under one folder (the library directory itself, "Caches"
// and "Documents" inside it), so that a run with `--data-dir` or a test touches nothing else.
//
// Any thread may read; set the directories before the layer starts (main thread).

#include <QString>

namespace analytics {

class TallyPaths {
public:
    static QString libraryDirectory();
    static QString cachesDirectory();
    static QString documentsDirectory();

    // An empty folder restores the standard locations.
    static void setDataDirectory(const QString& folder);
};

} // namespace analytics
