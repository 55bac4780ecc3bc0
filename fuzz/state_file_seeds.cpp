// Writes legal state files into a folder, to seed the state-file fuzzer: one
// for each form of the title's length count (one byte, 255 and a two-byte
// count, 255 0xFFFF and a four-byte count) and at the edges between them.
// Without them the fuzzer would rarely build an input long enough to reach
// the title at all.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "document/state_file.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: state_file_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const std::size_t length : {0, 1, 254, 255, 256, 1000, 65533, 65534, 65535, 70000}) {
        tavlin::StateRecord record;
        record.title = std::string(length, 'T');
        record.titleSet = length > 0;
        const std::vector<std::uint8_t> bytes = tavlin::EncodeStateFile(record);
        std::ofstream out(folder / ("title-" + std::to_string(length) + ".pqz"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "state_file_seeds: cannot write into %s\n", argv[1]);
            return 1;
        }
    }
    return 0;
}
