# Turns the files FILES (a list) into OUTPUT, a C++ source that holds each
# file's bytes under its name, for the web page compiled into the server.
set(entries "")
set(arrays "")
set(index 0)
foreach(path ${FILES})
    get_filename_component(name ${path} NAME)
    file(READ ${path} hex HEX)
    string(LENGTH "${hex}" hexLength)
    math(EXPR size "${hexLength} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND arrays "const unsigned char kFile${index}[] = {${bytes}0};\n")
    string(APPEND entries "    {\"${name}\", {reinterpret_cast<const char*>(kFile${index}), ${size}}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Made by cmake/EmbedFiles.cmake from src/panel/web/page/; not to be edited.
#include \"panel/web/web_page_files.h\"

namespace tavlin {

namespace {

${arrays}
const WebPageFile kFiles[] = {
${entries}};

}  // namespace

std::span<const WebPageFile> WebPageFiles() {
    return kFiles;
}

}  // namespace tavlin
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
