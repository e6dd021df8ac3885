#pragma once
// In-place radix-2 complex FFT of one fixed power-of-two size.
#include <complex>
#include <vector>

namespace zor_r3d {

/// Precomputed twiddles and bit reversal for size N; Transform is const and thread-safe.
class Fft {
public:
    explicit Fft(int n);
    int Size() const { return m_N; }
    /// Forward (e^-i) or inverse (e^+i, scaled by 1/N) transform of `data` (N values).
    void Transform(std::complex<float>* data, bool inverse) const;

private:
    int m_N;
    std::vector<std::complex<float>> m_Twiddle;
    std::vector<int> m_Reverse;
};

}  // namespace zor_r3d
