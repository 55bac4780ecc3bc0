// The fuzz targets run the FFT on its portable kernels only. The vector
// kernels rely on the target attribute widening the registers an inline asm
// constraint may use, which this clang refuses; the decoders under test do not
// depend on which kernel computes a transform.
#include "dsp/fft_kernels.h"

namespace tavlin::fft_kernels {

const KernelSet* Avx2Kernels() {
    return nullptr;
}

const KernelSet* Avx512Kernels() {
    return nullptr;
}

}  // namespace tavlin::fft_kernels
