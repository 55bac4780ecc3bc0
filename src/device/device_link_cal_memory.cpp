// The calibration memory transfers of DeviceLink: reading the 1024 words with
// the progress dialog, erasing, and writing a whole table back.

#include <algorithm>
#include <cstdint>

#include "device/device_link.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"

namespace tavlin {

namespace {

constexpr std::uint8_t kOpcodeMemory = 0x45;  // "E"
constexpr std::uint8_t kControlMark = 0xFF;
constexpr std::uint8_t kReadForm = 0x01;
constexpr std::uint8_t kSubstituteMark = 0xFE;
constexpr std::uint8_t kOpenForWriting[3] = {0x15, 0x26, 0x37};
constexpr std::uint8_t kErase[3] = {0x14, 0x25, 0x36};
constexpr int kWordBytes = 4;
constexpr int kMemoryWaitMs = 200;
// The bar moves at addresses that are multiples of 41 (and of the word size),
// to a / 41: 0, 4, 8, ... 96.
constexpr int kProgressDivisor = 41;
constexpr std::uint8_t kUndeliveredByte = 0x80;

// A data word that the instrument would take for a read or an erase is sent
// with its first byte changed: the stored image then differs in that byte.
bool LooksLikeControlWord(const std::uint8_t* word) {
    if (word[0] != kControlMark) {
        return false;
    }
    return word[1] == kReadForm ||
           (word[1] == kErase[0] && word[2] == kErase[1] && word[3] == kErase[2]);
}

}  // namespace

bool DeviceLink::ReadCalMemory(std::uint8_t* destination, ProgressSink& progress) {
    // Bytes the device does not deliver keep a neutral value.
    std::fill_n(destination, kCalMemoryBytes, kUndeliveredByte);
    if (!IsOpen()) {
        return false;  // nothing to ask: every command would fail
    }
    progress.SetPosition(0);
    progress.Show();
    bool complete = true;
    for (int address = 0; address < kCalMemoryBytes; address += kWordBytes) {
        if (progress.Cancelled()) {
            complete = false;  // what was not read keeps its neutral value; nothing is cached
            break;
        }
        // The four bytes of the reply pace the reads: no pause between them.
        const int sent = Query({kOpcodeMemory, kControlMark, kReadForm,
                                static_cast<std::uint8_t>(address & 0xFF),
                                static_cast<std::uint8_t>(address >> 8)});
        if (sent != kLinkOk) {
            complete = false;
        } else {
            std::uint8_t word[kWordBytes];
            const std::size_t got = std::min<std::size_t>(ReadReply(word, kWordBytes), kWordBytes);
            std::copy_n(word, got, destination + address);
            complete = complete && got == kWordBytes;
        }
        if (address % kProgressDivisor == 0) {
            progress.SetPosition(address / kProgressDivisor);
        }
    }
    progress.Hide();
    return complete && IsOpen();
}

bool DeviceLink::EraseCalMemory() {
    const bool opened = Stage({kOpcodeMemory, kControlMark, kOpenForWriting[0], kOpenForWriting[1],
                               kOpenForWriting[2]}) == kLinkOk;
    clock_.SleepMs(kMemoryWaitMs);
    const bool erased =
        Stage({kOpcodeMemory, kControlMark, kErase[0], kErase[1], kErase[2]}) == kLinkOk;
    clock_.SleepMs(kMemoryWaitMs);
    const bool reopened = ResetLink(true);
    return opened && erased && reopened;
}

bool DeviceLink::WriteCalMemory(const std::uint8_t* table) {
    if (!EraseCalMemory()) {
        return false;
    }
    bool written = Stage({kOpcodeMemory, kControlMark, kOpenForWriting[0], kOpenForWriting[1],
                          kOpenForWriting[2]}) == kLinkOk;
    clock_.SleepMs(kMemoryWaitMs);
    // The device stores each word at the next address, so after a lost word
    // every later one would land one place early: stop at the first failure.
    for (int address = 0; written && address < kCalMemoryBytes; address += kWordBytes) {
        std::uint8_t word[kWordBytes];
        std::copy_n(table + address, kWordBytes, word);
        if (LooksLikeControlWord(word)) {
            word[0] = kSubstituteMark;
        }
        written = Stage({kOpcodeMemory, word[0], word[1], word[2], word[3]}) == kLinkOk;
    }
    clock_.SleepMs(kMemoryWaitMs);
    const bool reopened = ResetLink(true);
    return written && reopened;
}

}  // namespace tavlin
