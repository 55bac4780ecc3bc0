// Feeds arbitrary bytes to the state file decoder. Besides the sanitizers'
// own checks it asserts what a recall relies on: an accepted file is already
// legal, so saving it and reading it back gives the same bytes and changes
// nothing more.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "document/state_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tavlin::StateFileDecodeResult first =
        tavlin::DecodeStateFile(std::span<const std::uint8_t>(data, size));
    if (!first.ok()) {
        if (first.status != tavlin::StateFileStatus::Empty && first.message.empty()) {
            std::abort();  // every refusal must say why
        }
        return 0;
    }
    const std::vector<std::uint8_t> saved = tavlin::EncodeStateFile(first.record);
    const tavlin::StateFileDecodeResult second =
        tavlin::DecodeStateFile(std::span<const std::uint8_t>(saved));
    if (!second.ok() || !second.adjustments.empty() ||
        tavlin::EncodeStateFile(second.record) != saved) {
        std::abort();
    }
    return 0;
}
