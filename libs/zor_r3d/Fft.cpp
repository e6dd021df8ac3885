#include "zor_r3d/Fft.h"

#include <cmath>
#include <utility>

namespace zor_r3d {

Fft::Fft(int n) : m_N(n), m_Twiddle(static_cast<size_t>(n / 2)), m_Reverse(static_cast<size_t>(n)) {
    int bits = 0;
    while ((1 << bits) < n) {
        ++bits;
    }
    for (int i = 0; i < n; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b) {
            r |= ((i >> b) & 1) << (bits - 1 - b);
        }
        m_Reverse[static_cast<size_t>(i)] = r;
    }
    for (int k = 0; k < n / 2; ++k) {
        const double a = -2.0 * M_PI * k / n;
        m_Twiddle[static_cast<size_t>(k)] = {static_cast<float>(std::cos(a)),
                                             static_cast<float>(std::sin(a))};
    }
}

void Fft::Transform(std::complex<float>* data, bool inverse) const {
    const int n = m_N;
    for (int i = 0; i < n; ++i) {
        const int r = m_Reverse[static_cast<size_t>(i)];
        if (r > i) {
            std::swap(data[i], data[r]);
        }
    }
    for (int len = 2; len <= n; len <<= 1) {
        const int half = len >> 1, step = n / len;
        for (int start = 0; start < n; start += len) {
            for (int k = 0; k < half; ++k) {
                std::complex<float> w = m_Twiddle[static_cast<size_t>(k * step)];
                if (inverse) {
                    w = std::conj(w);
                }
                // Written out: std::complex multiplication checks for NaN/Inf and is slow.
                const std::complex<float> b = data[start + k + half];
                const std::complex<float> t(w.real() * b.real() - w.imag() * b.imag(),
                                            w.real() * b.imag() + w.imag() * b.real());
                data[start + k + half] = data[start + k] - t;
                data[start + k] += t;
            }
        }
    }
    if (inverse) {
        const float s = 1.0f / static_cast<float>(n);
        for (int i = 0; i < n; ++i) {
            data[i] *= s;
        }
    }
}

}  // namespace zor_r3d
