#include "remote/remote_file_name.h"

#include <sys/stat.h>

#include <cerrno>

namespace tavlin {

bool IsAllowedFileName(const std::string& name, FileNames rule) {
    if (rule == FileNames::AnyPath) {
        return true;
    }
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string("/\0", 2)) != std::string::npos) {
        return false;
    }
    // lstat: a link is refused as it stands, not followed to its target.
    struct stat status {};
    if (::lstat(name.c_str(), &status) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(status.st_mode);
}

}  // namespace tavlin
