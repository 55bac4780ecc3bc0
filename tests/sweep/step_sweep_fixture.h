#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "document/document_fixture.h"

namespace tavlin::test {

// A document on a scripted instrument that answers every step list with
// blocks of a chosen sample pattern (none when it is empty) and every
// detector sweep with readings from a chosen function, and records the
// route, step-list and detector commands in order ("D4", "N4457-4694",
// "B138-4416").
class StepListScriptFixture : public DocumentFixture {
  protected:
    using Sample = std::function<std::pair<int, int>(int)>;
    using Readings = std::function<int(int)>;

    AnalyzerDocument& BuildAnswering(Sample sample, Readings readings = nullptr) {
        auto previous = usb.onWrite;
        usb.onWrite = [this, previous, sample, readings](UsbHandle handle, const Bytes& frame) {
            previous(handle, frame);
            const Bytes c = UnSlip(frame);
            if (handle != FakeCalMemory::kCommandHandle || c.empty()) {
                return;
            }
            if (c[0] == 'D' && c.size() == 2) {
                sequence.push_back("D" + std::to_string(c[1]));
            }
            if ((c[0] == 'N' || c[0] == 'B') && c.size() == 5) {
                const int first = c[1] | c[2] << 8;
                const int last = c[3] | c[4] << 8;
                sequence.push_back(std::string(1, static_cast<char>(c[0])) + std::to_string(first) +
                                   "-" + std::to_string(last));
                if (c[0] == 'N') {
                    for (int b = 0; sample && b <= std::abs(last - first); ++b) {
                        usb.QueueReceive(1, BlockOf(sample));
                    }
                } else if (readings) {
                    Bytes reply;
                    for (int j = 0; j < (last - first) / 3; ++j) {
                        reply.push_back(static_cast<std::uint8_t>(readings(j) >> 8));
                        reply.push_back(static_cast<std::uint8_t>(readings(j) & 0xFF));
                    }
                    usb.QueueReceive(FakeCalMemory::kCommandHandle, reply);
                }
            }
        };
        return BuildWithInstrument();
    }
    static Bytes BlockOf(const Sample& sample) {
        Bytes bytes;
        for (int n = 0; n < 512; ++n) {
            const auto [i, q] = sample(n);
            for (const int v : {i, q}) {
                bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
                bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
            }
        }
        return bytes;
    }
    std::vector<std::string> Sweep(AnalyzerDocument& d, double start, double stop) {
        sequence.clear();
        d.SetFrequencies(start, stop);
        d.engine.PerformSweep(d);
        return sequence;
    }

    std::vector<std::string> sequence;
};

// A block of a few counts of noise-like samples.
inline std::function<std::pair<int, int>(int)> QuietBlock() {
    return [](int n) { return std::pair{n % 3 - 1, n % 5 - 2}; };
}

}  // namespace tavlin::test
