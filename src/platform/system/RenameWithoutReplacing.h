#pragma once

// Gives a file a new name in the same folder only where that name is free: two writers that pick
// the same name never overwrite each other's file.
//
// Threads: any thread.

namespace platform {

// Renames `from` to `to` in the open folder `folder` unless `to` exists. 0, or the errno (EEXIST
// when the name is taken).
int renameWithoutReplacing(int folder, const char* from, const char* to);

} // namespace platform
