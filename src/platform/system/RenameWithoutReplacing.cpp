#include "platform/system/RenameWithoutReplacing.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

int renameWithoutReplacing(int folder, const char* from, const char* to)
{
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without no-replace renames: a hard link is just as exclusive.
    if (::linkat(folder, from, folder, to, 0) != 0)
        return errno;
    ::unlinkat(folder, from, 0);
    return 0;
}

} // namespace platform
