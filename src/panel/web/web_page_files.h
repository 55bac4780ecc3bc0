#pragma once

#include <span>
#include <string_view>

namespace tavlin {

// One file of the web page, compiled into the program at build time.
struct WebPageFile {
    std::string_view name;  // "index.html", "app.js", ...
    std::string_view bytes;
};

// Every file of the page; the server serves these and nothing of the disk.
std::span<const WebPageFile> WebPageFiles();

}  // namespace tavlin
