#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace tavlin {

// Qt wants the session's private runtime folder and warns on standard error
// ("QStandardPaths: XDG_RUNTIME_DIR not set") when a bare session, a service
// or a script gives none. As a desktop session would, the program then uses
// a folder of its own user's, mode 0700, made when missing; one that is not
// ours or is open to others is left alone and Qt's own choice stands.
inline void EnsureRuntimeFolder() {
    const char* given = std::getenv("XDG_RUNTIME_DIR");
    if (given != nullptr && *given != '\0') {
        return;
    }
    const char* temp = std::getenv("TMPDIR");
    const std::string folder = std::string(temp != nullptr && *temp == '/' ? temp : "/tmp") +
                               "/tavlin-runtime-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    struct stat status {};
    if (::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
        status.st_uid == ::getuid() && (status.st_mode & 0777) == 0700) {
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
}

}  // namespace tavlin
