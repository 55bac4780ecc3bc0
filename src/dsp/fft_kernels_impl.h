#pragma once

// The FFT's inner loops, written once for a vector of W doubles. Only the
// fft_kernels_*.cpp files include this; each instantiates it for its own width
// inside functions compiled for its own instruction set. Everything here is in
// an unnamed namespace and always inlined, so no instantiation is shared
// between those files (a shared copy could be compiled for the wider
// instruction set and then run on a processor without it).

#include <cstddef>
#include <cstring>

#include "dsp/fft_kernels.h"

// The helpers pass vectors by value; they are always inlined into functions
// compiled for the instruction set of their width, so the calling convention
// this warning is about is never used. The compiler reports it where the
// templates are instantiated, at the end of the kernel file, so it stays off
// for the rest of that file.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace tavlin::fft_kernels {
namespace {

template <int W>
struct VectorOf;
template <>
struct VectorOf<2> {
    typedef double Type __attribute__((vector_size(16)));
};
template <>
struct VectorOf<4> {
    typedef double Type __attribute__((vector_size(32)));
};
template <>
struct VectorOf<8> {
    typedef double Type __attribute__((vector_size(64)));
};

template <class V>
struct Complex {
    V re;
    V im;
};

constexpr double kCos1Pi8 = 0.92387953251128675613;  // cos(pi / 8)
constexpr double kSin1Pi8 = 0.38268343236508977173;  // sin(pi / 8)
constexpr double kRootHalf = 0.70710678118654752440;
// w16^m = e^(-2 pi i m / 16) for m = 0 .. 9
constexpr double kW16Re[10] = {1.0,       kCos1Pi8,   kRootHalf, kSin1Pi8, 0.0,
                               -kSin1Pi8, -kRootHalf, -kCos1Pi8, -1.0,     -kCos1Pi8};
constexpr double kW16Im[10] = {0.0,       -kSin1Pi8,  -kRootHalf, -kCos1Pi8, -1.0,
                               -kCos1Pi8, -kRootHalf, -kSin1Pi8,  0.0,       kSin1Pi8};
constexpr std::size_t kReverse4[kTileSize] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};

template <class V>
[[gnu::always_inline]] inline V Load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// A load the compiler keeps in a register. Left to itself it folds a load into
// each arithmetic instruction that uses the value, so the radix stages, whose
// every input feeds two multiplications or additions, read each vector twice
// and are then limited by the loads.
template <class V>
[[gnu::always_inline]] inline V LoadOnce(const double* p) {
    V v = Load<V>(p);
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    asm("" : "+v"(v));
#endif
    return v;
}

template <class V>
[[gnu::always_inline]] inline void Store(double* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

template <class V>
[[gnu::always_inline]] inline V Splat(double x) {
    V v = {};
    return v + x;
}

template <class V>
[[gnu::always_inline]] inline Complex<V> SplatComplex(double re, double im) {
    return {Splat<V>(re), Splat<V>(im)};
}

template <class V>
[[gnu::always_inline]] inline Complex<V> Add(const Complex<V>& a, const Complex<V>& b) {
    return {a.re + b.re, a.im + b.im};
}

template <class V>
[[gnu::always_inline]] inline Complex<V> Sub(const Complex<V>& a, const Complex<V>& b) {
    return {a.re - b.re, a.im - b.im};
}

template <class V>
[[gnu::always_inline]] inline Complex<V> Mul(const Complex<V>& a, const Complex<V>& w) {
    return {a.re * w.re - a.im * w.im, a.re * w.im + a.im * w.re};
}

template <class V>
[[gnu::always_inline]] inline Complex<V> MulMinusI(const Complex<V>& a) {
    return {a.im, -a.re};
}

// Four-point DFT with the negative exponent, in place, natural order.
template <class V>
[[gnu::always_inline]] inline void Dft4(Complex<V>& x0, Complex<V>& x1, Complex<V>& x2,
                                        Complex<V>& x3) {
    const Complex<V> t0 = Add(x0, x2);
    const Complex<V> t1 = Sub(x0, x2);
    const Complex<V> t2 = Add(x1, x3);
    const Complex<V> t3 = MulMinusI(Sub(x1, x3));
    x0 = Add(t0, t2);
    x2 = Sub(t0, t2);
    x1 = Add(t1, t3);
    x3 = Sub(t1, t3);
}

// Sixteen-point DFT as 4 x 4: afterwards X[t] is at x[4 * (t % 4) + t / 4].
template <class V>
[[gnu::always_inline]] inline void Dft16(Complex<V> (&x)[16]) {
#pragma GCC unroll 16
    for (int s0 = 0; s0 < 4; ++s0) {
        Dft4(x[s0], x[s0 + 4], x[s0 + 8], x[s0 + 12]);
    }
    // x[s0 + 4 * t1] *= w16^(s0 * t1)
    x[5] = Mul(x[5], SplatComplex<V>(kCos1Pi8, -kSin1Pi8));
    x[6] = Mul(x[6], SplatComplex<V>(kRootHalf, -kRootHalf));
    x[7] = Mul(x[7], SplatComplex<V>(kSin1Pi8, -kCos1Pi8));
    x[9] = Mul(x[9], SplatComplex<V>(kRootHalf, -kRootHalf));
    x[10] = MulMinusI(x[10]);
    x[11] = Mul(x[11], SplatComplex<V>(-kRootHalf, -kRootHalf));
    x[13] = Mul(x[13], SplatComplex<V>(kSin1Pi8, -kCos1Pi8));
    x[14] = Mul(x[14], SplatComplex<V>(-kRootHalf, -kRootHalf));
    x[15] = Mul(x[15], SplatComplex<V>(-kCos1Pi8, kSin1Pi8));
#pragma GCC unroll 16
    for (int t1 = 0; t1 < 4; ++t1) {
        Dft4(x[4 * t1], x[4 * t1 + 1], x[4 * t1 + 2], x[4 * t1 + 3]);
    }
}

// Eight-point DFT as 2 x 4: afterwards X[t] is at x[2 * (t % 4) + t / 4].
template <class V>
[[gnu::always_inline]] inline void Dft8(Complex<V> (&x)[8]) {
    Dft4(x[0], x[2], x[4], x[6]);
    Dft4(x[1], x[3], x[5], x[7]);
    x[3] = Mul(x[3], SplatComplex<V>(kRootHalf, -kRootHalf));
    x[5] = MulMinusI(x[5]);
    x[7] = Mul(x[7], SplatComplex<V>(-kRootHalf, -kRootHalf));
#pragma GCC unroll 16
    for (int t1 = 0; t1 < 4; ++t1) {
        const Complex<V> y0 = x[2 * t1];
        const Complex<V> y1 = x[2 * t1 + 1];
        x[2 * t1] = Add(y0, y1);
        x[2 * t1 + 1] = Sub(y0, y1);
    }
}

template <class V>
[[gnu::always_inline]] inline void Dft2(Complex<V>& x0, Complex<V>& x1) {
    const Complex<V> sum = Add(x0, x1);
    x1 = Sub(x0, x1);
    x0 = sum;
}

// cos(m pi / 16) for m = 0 .. 8
constexpr double kCosPi16[9] = {1.0,       0.98078528040323044913, kCos1Pi8, 0.83146961230254523708,
                                kRootHalf, 0.55557023301960222474, kSin1Pi8, 0.19509032201612826785,
                                0.0};

// w32^m = e^(-2 pi i m / 32) = cos(m pi / 16) - i sin(m pi / 16), m = 0 .. 31.
constexpr double W32Re(int m) {
    const int r = m % 32;
    const int q = r % 16;
    const double c = q <= 8 ? kCosPi16[q] : -kCosPi16[16 - q];
    return r < 16 ? c : -c;
}
constexpr double W32Im(int m) {
    return W32Re(m + 8);  // -sin(x) = cos(x + pi / 2)
}

// The first half of a 32-point DFT as 8 x 4: the eight-point DFT of the
// samples 4 n + s (part[n]), turned by w32^(s k); results in natural order k.
template <class V>
[[gnu::always_inline]] inline void Dft32Part(int s, Complex<V> (&part)[8]) {
    Dft8(part);
    const Complex<V> y[8] = {part[0], part[2], part[4], part[6],
                             part[1], part[3], part[5], part[7]};
#pragma GCC unroll 16
    for (int k = 0; k < 8; ++k) {
        const int m = s * k;
        if (m == 0) {
            part[k] = y[k];
        } else if (m == 8) {
            part[k] = MulMinusI(y[k]);
        } else {
            part[k] = Mul(y[k], SplatComplex<V>(W32Re(m), W32Im(m)));
        }
    }
}

// Thirty-two-point DFT, results in natural order: the four parts, then
// four-point DFTs across them.
template <class V>
[[gnu::always_inline]] inline void Dft32(Complex<V> (&x)[32]) {
    Complex<V> y[4][8];
#pragma GCC unroll 16
    for (int s = 0; s < 4; ++s) {
#pragma GCC unroll 16
        for (int n = 0; n < 8; ++n) {
            y[s][n] = x[4 * n + s];
        }
        Dft32Part(s, y[s]);
    }
#pragma GCC unroll 16
    for (int k = 0; k < 8; ++k) {
        Dft4(y[0][k], y[1][k], y[2][k], y[3][k]);
        x[k] = y[0][k];
        x[k + 8] = y[1][k];
        x[k + 16] = y[2][k];
        x[k + 24] = y[3][k];
    }
}

// R-point DFT across R vectors (lane by lane), results in natural order.
template <int R, class V>
[[gnu::always_inline]] inline void DftAcross(Complex<V> (&x)[R]) {
    if constexpr (R == 2) {
        Dft2(x[0], x[1]);
    } else if constexpr (R == 4) {
        Dft4(x[0], x[1], x[2], x[3]);
    } else if constexpr (R == 8) {
        Dft8(x);
        const Complex<V> y[8] = {x[0], x[2], x[4], x[6], x[1], x[3], x[5], x[7]};
#pragma GCC unroll 16
        for (int t = 0; t < 8; ++t) {
            x[t] = y[t];
        }
    } else if constexpr (R == 32) {
        Dft32(x);
    } else {
        static_assert(R == 16);
        Dft16(x);
        Complex<V> y[16];
#pragma GCC unroll 16
        for (int t = 0; t < 16; ++t) {
            y[t] = x[4 * (t % 4) + t / 4];
        }
#pragma GCC unroll 16
        for (int t = 0; t < 16; ++t) {
            x[t] = y[t];
        }
    }
}

// Transposes W vectors of W values in place.
template <int W, class V>
[[gnu::always_inline]] inline void Transpose(V* v) {
    if constexpr (W == 2) {
        const V a = v[0];
        v[0] = __builtin_shufflevector(a, v[1], 0, 2);
        v[1] = __builtin_shufflevector(a, v[1], 1, 3);
    } else if constexpr (W == 4) {
        const V t0 = __builtin_shufflevector(v[0], v[1], 0, 4, 2, 6);
        const V t1 = __builtin_shufflevector(v[0], v[1], 1, 5, 3, 7);
        const V t2 = __builtin_shufflevector(v[2], v[3], 0, 4, 2, 6);
        const V t3 = __builtin_shufflevector(v[2], v[3], 1, 5, 3, 7);
        v[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
        v[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
        v[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
        v[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
    } else {
        static_assert(W == 8);
        V t[8];
#pragma GCC unroll 16
        for (int p = 0; p < 8; p += 2) {
            t[p] = __builtin_shufflevector(v[p], v[p + 1], 0, 8, 2, 10, 4, 12, 6, 14);
            t[p + 1] = __builtin_shufflevector(v[p], v[p + 1], 1, 9, 3, 11, 5, 13, 7, 15);
        }
        V u[8];
#pragma GCC unroll 16
        for (int p = 0; p < 8; p += 4) {
#pragma GCC unroll 16
            for (int j = 0; j < 2; ++j) {
                u[p + j] =
                    __builtin_shufflevector(t[p + j], t[p + j + 2], 0, 1, 8, 9, 4, 5, 12, 13);
                u[p + j + 2] =
                    __builtin_shufflevector(t[p + j], t[p + j + 2], 2, 3, 10, 11, 6, 7, 14, 15);
            }
        }
#pragma GCC unroll 16
        for (int j = 0; j < 4; ++j) {
            v[j] = __builtin_shufflevector(u[j], u[j + 4], 0, 1, 2, 3, 8, 9, 10, 11);
            v[j + 4] = __builtin_shufflevector(u[j], u[j + 4], 4, 5, 6, 7, 12, 13, 14, 15);
        }
    }
}

// Writes the 16 results of W columns (results[t], one lane per column) as W
// output rows: column b goes to row kReverse4[b], values t = 0..15.
template <int W, class V>
[[gnu::always_inline]] inline void StoreColumnsAsRows(const Complex<V> (&results)[kTileSize],
                                                      std::size_t firstColumn, double* dstRe,
                                                      double* dstIm, std::size_t dstStride) {
#pragma GCC unroll 16
    for (std::size_t t0 = 0; t0 < kTileSize; t0 += W) {
        V re[W];
        V im[W];
#pragma GCC unroll 16
        for (int j = 0; j < W; ++j) {
            re[j] = results[t0 + j].re;
            im[j] = results[t0 + j].im;
        }
        Transpose<W>(re);
        Transpose<W>(im);
#pragma GCC unroll 16
        for (int j = 0; j < W; ++j) {
            const std::size_t row = kReverse4[firstColumn + j];
            Store(dstRe + row * dstStride + t0, re[j]);
            Store(dstIm + row * dstStride + t0, im[j]);
        }
    }
}

template <int W>
[[gnu::always_inline]] inline void FirstPassTile(const double* srcRe, const double* srcIm,
                                                 std::size_t srcStride, double* dstRe,
                                                 double* dstIm, std::size_t dstStride,
                                                 bool twoEightPoint, double scale) {
    using V = typename VectorOf<W>::Type;
    const V factor = Splat<V>(scale);
#pragma GCC unroll 16
    for (std::size_t column = 0; column < kTileSize; column += W) {
        Complex<V> results[kTileSize];
        if (twoEightPoint) {
#pragma GCC unroll 16
            for (int half = 0; half < 2; ++half) {
                Complex<V> x[8];
#pragma GCC unroll 16
                for (int s = 0; s < 8; ++s) {
                    const std::size_t at = (2 * s + half) * srcStride + column;
                    x[s] = {Load<V>(srcRe + at) * factor, Load<V>(srcIm + at) * factor};
                }
                Dft8(x);
#pragma GCC unroll 16
                for (int t = 0; t < 8; ++t) {
                    results[8 * half + t] = x[2 * (t % 4) + t / 4];
                }
            }
        } else {
            Complex<V> x[16];
#pragma GCC unroll 16
            for (int a = 0; a < 16; ++a) {
                const std::size_t at = a * srcStride + column;
                x[a] = {Load<V>(srcRe + at) * factor, Load<V>(srcIm + at) * factor};
            }
            Dft16(x);
#pragma GCC unroll 16
            for (int t = 0; t < 16; ++t) {
                results[t] = x[4 * (t % 4) + t / 4];
            }
        }
        StoreColumnsAsRows<W>(results, column, dstRe, dstIm, dstStride);
    }
}

// The short transforms, N = R x C values seen as R rows of C (x[C r + c]), in
// straight-line code: an R-point DFT down the columns (W columns at a time),
// the twiddles w_N^(r c) (r the row's result index), then a C-point DFT along
// each row. Each W x W block is transposed first so that the row DFT, too,
// runs across vectors; its results then lie in natural order, X[r + R c]. With
// C = W the values never leave the registers; otherwise the rows pass through
// a buffer of N values on the stack. Every input is read before any output is
// written, so the output may be the input. The table holds, for r = 1 .. R - 1
// and each group of W columns, W real parts then W imaginary parts, already
// multiplied by scale: only row 0 is scaled here, after the column DFTs, so
// that no multiplication stands between the loads and the first additions.
// The scale is a power of two, so the results are those of scaling first.
template <int W, int R, int C>
[[gnu::always_inline]] inline void ShortTransform(const double* inRe, const double* inIm,
                                                  double* outRe, double* outIm, double scale,
                                                  const double* table) {
    using V = typename VectorOf<W>::Type;
    static_assert(R % W == 0 && C % W == 0);
    constexpr int kGroups = C / W;
    constexpr int kBuffer = kGroups > 1 ? R * C : 1;
    const V factor = Splat<V>(scale);
    alignas(64) double bufferRe[kBuffer];
    alignas(64) double bufferIm[kBuffer];
#pragma GCC unroll 16
    for (int g = 0; g < kGroups; ++g) {
        Complex<V> x[R];
#pragma GCC unroll 16
        for (int r = 0; r < R; ++r) {
            const int at = C * r + W * g;
            x[r] = {Load<V>(inRe + at), Load<V>(inIm + at)};
        }
        DftAcross<R>(x);
        x[0] = {x[0].re * factor, x[0].im * factor};
#pragma GCC unroll 16
        for (int r = 1; r < R; ++r) {
            const double* w = table + ((r - 1) * kGroups + g) * 2 * W;
            x[r] = Mul(x[r], Complex<V>{Load<V>(w), Load<V>(w + W)});
        }
#pragma GCC unroll 16
        for (int b = 0; b < R / W; ++b) {
            V re[W];
            V im[W];
#pragma GCC unroll 16
            for (int j = 0; j < W; ++j) {
                re[j] = x[W * b + j].re;
                im[j] = x[W * b + j].im;
            }
            Transpose<W>(re);
            Transpose<W>(im);
            if constexpr (kGroups == 1) {
                Complex<V> y[W];
#pragma GCC unroll 16
                for (int c = 0; c < W; ++c) {
                    y[c] = {re[c], im[c]};
                }
                DftAcross<W>(y);
#pragma GCC unroll 16
                for (int c = 0; c < W; ++c) {
                    Store(outRe + W * b + R * c, y[c].re);
                    Store(outIm + W * b + R * c, y[c].im);
                }
            } else {
#pragma GCC unroll 16
                for (int j = 0; j < W; ++j) {
                    Store(bufferRe + (W * g + j) * R + W * b, re[j]);
                    Store(bufferIm + (W * g + j) * R + W * b, im[j]);
                }
            }
        }
    }
    if constexpr (C == 32) {
        // Thirty-two vectors do not fit the registers: the parts of Dft32 go
        // through a buffer of their own.
        alignas(64) double partRe[32 * W];
        alignas(64) double partIm[32 * W];
#pragma GCC unroll 16
        for (int h = 0; h < R / W; ++h) {
#pragma GCC unroll 16
            for (int s = 0; s < 4; ++s) {
                Complex<V> part[8];
#pragma GCC unroll 16
                for (int n = 0; n < 8; ++n) {
                    const int at = (4 * n + s) * R + W * h;
                    part[n] = {Load<V>(bufferRe + at), Load<V>(bufferIm + at)};
                }
                Dft32Part(s, part);
#pragma GCC unroll 16
                for (int k = 0; k < 8; ++k) {
                    Store(partRe + (8 * s + k) * W, part[k].re);
                    Store(partIm + (8 * s + k) * W, part[k].im);
                }
            }
#pragma GCC unroll 16
            for (int k = 0; k < 8; ++k) {
                Complex<V> z[4];
#pragma GCC unroll 16
                for (int s = 0; s < 4; ++s) {
                    z[s] = {Load<V>(partRe + (8 * s + k) * W), Load<V>(partIm + (8 * s + k) * W)};
                }
                Dft4(z[0], z[1], z[2], z[3]);
#pragma GCC unroll 16
                for (int t = 0; t < 4; ++t) {
                    Store(outRe + W * h + R * (k + 8 * t), z[t].re);
                    Store(outIm + W * h + R * (k + 8 * t), z[t].im);
                }
            }
        }
    } else if constexpr (kGroups > 1) {
#pragma GCC unroll 16
        for (int h = 0; h < R / W; ++h) {
            Complex<V> y[C];
#pragma GCC unroll 16
            for (int c = 0; c < C; ++c) {
                y[c] = {Load<V>(bufferRe + c * R + W * h), Load<V>(bufferIm + c * R + W * h)};
            }
            DftAcross<C>(y);
#pragma GCC unroll 16
            for (int c = 0; c < C; ++c) {
                Store(outRe + W * h + R * c, y[c].re);
                Store(outIm + W * h + R * c, y[c].im);
            }
        }
    }
}

[[gnu::always_inline]] inline void TwoPointTransform(const double* inRe, const double* inIm,
                                                     double* outRe, double* outIm, double scale,
                                                     const double*) {
    const double re0 = inRe[0] * scale;
    const double im0 = inIm[0] * scale;
    const double re1 = inRe[1] * scale;
    const double im1 = inIm[1] * scale;
    outRe[0] = re0 + re1;
    outIm[0] = im0 + im1;
    outRe[1] = re0 - re1;
    outIm[1] = im0 - im1;
}

// The quarters of a block hold the sub-transforms of the samples whose index
// is 0, 2, 1 and 3 modulo 4 (the bit-reversed order), hence w2 on the second
// quarter and w1 on the third.
template <class V>
[[gnu::always_inline]] inline void Radix4Butterfly(double* re, double* im, std::size_t quarter,
                                                   const Complex<V>& w1, const Complex<V>& w2,
                                                   const Complex<V>& w3) {
    Complex<V> x0{LoadOnce<V>(re), LoadOnce<V>(im)};
    Complex<V> x2 = Mul(Complex<V>{LoadOnce<V>(re + quarter), LoadOnce<V>(im + quarter)}, w2);
    Complex<V> x1 =
        Mul(Complex<V>{LoadOnce<V>(re + 2 * quarter), LoadOnce<V>(im + 2 * quarter)}, w1);
    Complex<V> x3 =
        Mul(Complex<V>{LoadOnce<V>(re + 3 * quarter), LoadOnce<V>(im + 3 * quarter)}, w3);
    Dft4(x0, x1, x2, x3);
    Store(re, x0.re);
    Store(im, x0.im);
    Store(re + quarter, x1.re);
    Store(im + quarter, x1.im);
    Store(re + 2 * quarter, x2.re);
    Store(im + 2 * quarter, x2.im);
    Store(re + 3 * quarter, x3.re);
    Store(im + 3 * quarter, x3.im);
}

template <class V>
[[gnu::always_inline]] inline Complex<V> LoadTwiddle(const double* chunk, int power) {
    const std::size_t at = 2 * (power - 1) * kChunkValues;
    return {LoadOnce<V>(chunk + at), LoadOnce<V>(chunk + at + kChunkValues)};
}

// w^pk = A_p[k / 64] * B_p[k % 64], both from the two-level table.
template <class V>
[[gnu::always_inline]] inline Complex<V> TwoLevelTwiddle(const double* lowChunk, const double* high,
                                                         int power) {
    return Mul(LoadTwiddle<V>(lowChunk, power),
               SplatComplex<V>(high[2 * (power - 1)], high[2 * (power - 1) + 1]));
}

// The butterflies k < end of one block.
template <int W>
[[gnu::always_inline]] inline void Radix4Range(double* re, double* im, std::size_t quarter,
                                               std::size_t end, const double* table,
                                               bool twoLevel) {
    using V = typename VectorOf<W>::Type;
    if (!twoLevel) {
        for (std::size_t k = 0; k < end; k += W) {
            const double* chunk = table + k / kChunkValues * kChunkDoubles + k % kChunkValues;
            Radix4Butterfly<V>(re + k, im + k, quarter, LoadTwiddle<V>(chunk, 1),
                               LoadTwiddle<V>(chunk, 2), LoadTwiddle<V>(chunk, 3));
        }
        return;
    }
    const double* high = table + kTwoLevelLowDoubles;
    for (std::size_t base = 0; base < end; base += kTwoLevelSpan, high += 6) {
        const std::size_t span = end - base < kTwoLevelSpan ? end - base : kTwoLevelSpan;
        for (std::size_t low = 0; low < span; low += W) {
            const double* chunk = table + low / kChunkValues * kChunkDoubles + low % kChunkValues;
            Radix4Butterfly<V>(
                re + base + low, im + base + low, quarter, TwoLevelTwiddle<V>(chunk, high, 1),
                TwoLevelTwiddle<V>(chunk, high, 2), TwoLevelTwiddle<V>(chunk, high, 3));
        }
    }
}

// With skipLast the butterfly of the last W values of the last group's
// quarters is left out (see Radix4Tail).
template <int W>
[[gnu::always_inline]] inline void Radix4Stage(double* re, double* im, std::size_t length,
                                               std::size_t groups, const double* table,
                                               bool skipLast) {
    const std::size_t quarter = length / 4;
    for (std::size_t g = 0; g < groups; ++g) {
        double* blockRe = re + g * length;
        double* blockIm = im + g * length;
        const std::size_t end = skipLast && g + 1 == groups ? quarter - W : quarter;
        Radix4Range<W>(blockRe, blockIm, quarter, end, table, false);
    }
}

template <int W>
[[gnu::always_inline]] inline void Radix4StageTwoLevel(double* re, double* im, std::size_t length,
                                                       const double* table, bool skipLast) {
    const std::size_t quarter = length / 4;
    Radix4Range<W>(re, im, quarter, skipLast ? quarter - W : quarter, table, true);
}

// The butterfly a radix-4 stage of `length` leaves out with skipLast, done on a
// copy of its values: four rows of W, the quarters in their order. The
// twiddles are those of k = length / 4 - W, found as the stage finds them.
template <int W>
[[gnu::always_inline]] inline void Radix4Tail(double* re, double* im, std::size_t length,
                                              const double* table, bool twoLevel) {
    using V = typename VectorOf<W>::Type;
    const std::size_t k = length / 4 - W;
    if (!twoLevel) {
        const double* chunk = table + k / kChunkValues * kChunkDoubles + k % kChunkValues;
        Radix4Butterfly<V>(re, im, W, LoadTwiddle<V>(chunk, 1), LoadTwiddle<V>(chunk, 2),
                           LoadTwiddle<V>(chunk, 3));
        return;
    }
    const std::size_t low = k % kTwoLevelSpan;
    const double* chunk = table + low / kChunkValues * kChunkDoubles + low % kChunkValues;
    const double* high = table + kTwoLevelLowDoubles + 6 * (k / kTwoLevelSpan);
    Radix4Butterfly<V>(re, im, W, TwoLevelTwiddle<V>(chunk, high, 1),
                       TwoLevelTwiddle<V>(chunk, high, 2), TwoLevelTwiddle<V>(chunk, high, 3));
}

// Two radix-4 levels in one pass: the sixteen sub-blocks (sixteenth values
// apart, in the bit-reversed order of Radix4Butterfly) are combined in four
// groups of four with inner[p] = w_{L/4}^(p k), and the four results of each
// group across the groups with w_L^(p k') for k' = k + t L / 16, which is
// outer[p] = w_L^(p k) turned by the constant w16^(p t).
template <class V>
[[gnu::always_inline]] inline void Radix16Butterfly(double* re, double* im, std::size_t sixteenth,
                                                    const Complex<V> (&inner)[3],
                                                    const Complex<V> (&outer)[3]) {
    Complex<V> x[16];
#pragma GCC unroll 16
    for (int m = 0; m < 16; ++m) {
        x[m] = {LoadOnce<V>(re + m * sixteenth), LoadOnce<V>(im + m * sixteenth)};
    }
#pragma GCC unroll 16
    for (int a = 0; a < 4; ++a) {
        Complex<V> y0 = x[4 * a];
        Complex<V> y2 = Mul(x[4 * a + 1], inner[1]);
        Complex<V> y1 = Mul(x[4 * a + 2], inner[0]);
        Complex<V> y3 = Mul(x[4 * a + 3], inner[2]);
        Dft4(y0, y1, y2, y3);
        x[4 * a] = y0;
        x[4 * a + 1] = y1;
        x[4 * a + 2] = y2;
        x[4 * a + 3] = y3;
    }
#pragma GCC unroll 16
    for (int t = 0; t < 4; ++t) {
        Complex<V> w[3];
#pragma GCC unroll 16
        for (int p = 0; p < 3; ++p) {
            const int m = (p + 1) * t;
            if (m == 0) {
                w[p] = outer[p];
            } else if (m == 4) {
                w[p] = MulMinusI(outer[p]);
            } else {
                w[p] = Mul(outer[p], SplatComplex<V>(kW16Re[m], kW16Im[m]));
            }
        }
        Complex<V> z0 = x[t];
        Complex<V> z2 = Mul(x[4 + t], w[1]);
        Complex<V> z1 = Mul(x[8 + t], w[0]);
        Complex<V> z3 = Mul(x[12 + t], w[2]);
        Dft4(z0, z1, z2, z3);
        const Complex<V> z[4] = {z0, z1, z2, z3};
#pragma GCC unroll 16
        for (int q = 0; q < 4; ++q) {
            Store(re + (4 * q + t) * sixteenth, z[q].re);
            Store(im + (4 * q + t) * sixteenth, z[q].im);
        }
    }
}

template <class V>
[[gnu::always_inline]] inline void Radix16At(double* re, double* im, std::size_t sixteenth,
                                             std::size_t k, const double* table) {
    const double* chunk = table + k / kChunkValues * kRadix16ChunkDoubles + k % kChunkValues;
    const Complex<V> inner[3] = {LoadTwiddle<V>(chunk, 1), LoadTwiddle<V>(chunk, 2),
                                 LoadTwiddle<V>(chunk, 3)};
    chunk += kChunkDoubles;
    const Complex<V> outer[3] = {LoadTwiddle<V>(chunk, 1), LoadTwiddle<V>(chunk, 2),
                                 LoadTwiddle<V>(chunk, 3)};
    Radix16Butterfly<V>(re, im, sixteenth, inner, outer);
}

template <int W>
[[gnu::always_inline]] inline void Radix16Stage(double* re, double* im, std::size_t length,
                                                std::size_t groups, const double* table,
                                                bool skipLast) {
    using V = typename VectorOf<W>::Type;
    const std::size_t sixteenth = length / 16;
    for (std::size_t g = 0; g < groups; ++g) {
        double* blockRe = re + g * length;
        double* blockIm = im + g * length;
        const std::size_t end = skipLast && g + 1 == groups ? sixteenth - W : sixteenth;
        for (std::size_t k = 0; k < end; k += W) {
            Radix16At<V>(blockRe + k, blockIm + k, sixteenth, k, table);
        }
    }
}

// As Radix4Tail: sixteen rows of W.
template <int W>
[[gnu::always_inline]] inline void Radix16Tail(double* re, double* im, std::size_t length,
                                               const double* table) {
    using V = typename VectorOf<W>::Type;
    Radix16At<V>(re, im, W, length / 16 - W, table);
}

}  // namespace
}  // namespace tavlin::fft_kernels
