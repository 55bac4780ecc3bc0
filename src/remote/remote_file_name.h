#pragma once

#include <string>

namespace tavlin {

// Which file names a command from the network may use. Anyone who can reach
// the port would otherwise write any file the user can write (a shell's
// start-up file) or stall the server on a FIFO. The console, which the local
// user runs, keeps full paths.
enum class FileNames {
    AnyPath,
    // A plain name (no folder part, not "." or "..") in the working
    // directory, naming nothing yet or a regular file: no link, folder,
    // FIFO or device.
    PlainNamesHere,
};

bool IsAllowedFileName(const std::string& name, FileNames rule);

}  // namespace tavlin
