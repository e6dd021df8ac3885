#include "phantom/ArchCurve.h"

#include <algorithm>
#include <cmath>

namespace zor::phantom {

ArchCurve::ArchCurve(double a, double b, double halfLength)
    : m_HalfLength(halfLength), m_Step(0.05) {
    // Arc length of the ellipse part by fine integration, then resample uniformly.
    const int fine = 20000;
    std::vector<double> phi(fine + 1), len(fine + 1, 0.0);
    for (int i = 0; i <= fine; ++i) {
        phi[i] = -M_PI / 2 + M_PI * i / fine;
        if (i > 0) {
            const double pm = 0.5 * (phi[i] + phi[i - 1]);
            len[i] = len[i - 1] + std::hypot(a * std::cos(pm), b * std::sin(pm)) * (M_PI / fine);
        }
    }
    const double half = len[fine] / 2;
    const int n = static_cast<int>(2 * halfLength / m_Step) + 1;
    m_X.resize(n);
    m_Y.resize(n);
    size_t at = 0;
    for (int i = 0; i < n; ++i) {
        const double s = -halfLength + i * m_Step;
        if (s < -half) {
            m_X[i] = a;
            m_Y[i] = -half - s;
        } else if (s > half) {
            m_X[i] = -a;
            m_Y[i] = s - half;
        } else {
            const double target = s + half;
            while (at + 1 < len.size() && len[at + 1] < target) {
                ++at;
            }
            const size_t nx = std::min(at + 1, len.size() - 1);
            const double span = len[nx] - len[at];
            const double f = span > 0 ? (target - len[at]) / span : 0.0;
            const double p = phi[at] + f * (phi[nx] - phi[at]);
            m_X[i] = -a * std::sin(p);
            m_Y[i] = -b * std::cos(p);
        }
    }
}

void ArchCurve::PointAt(double s, double& x, double& y) const {
    const double f = (std::clamp(s, -m_HalfLength, m_HalfLength) + m_HalfLength) / m_Step;
    const size_t i = std::min(static_cast<size_t>(f), m_X.size() - 2);
    const double t = f - static_cast<double>(i);
    x = m_X[i] + t * (m_X[i + 1] - m_X[i]);
    y = m_Y[i] + t * (m_Y[i + 1] - m_Y[i]);
}

void ArchCurve::TangentAt(double s, double& tx, double& ty) const {
    const double h = 0.5;
    double x0, y0, x1, y1;
    const double sc = std::clamp(s, -m_HalfLength + h, m_HalfLength - h);
    PointAt(sc - h, x0, y0);
    PointAt(sc + h, x1, y1);
    const double n = std::hypot(x1 - x0, y1 - y0);
    tx = (x1 - x0) / n;
    ty = (y1 - y0) / n;
}

double ArchCurve::AngleAt(double s) const {
    double tx, ty;
    TangentAt(s, tx, ty);
    return std::atan2(-ty, -tx);
}

ArchPoint ArchCurve::Local(double x, double y) const {
    const size_t n = m_X.size();
    const size_t coarse = 20;
    size_t best = 0;
    double bestD = 1e300;
    for (size_t i = 0; i < n; i += coarse) {
        const double d = (m_X[i] - x) * (m_X[i] - x) + (m_Y[i] - y) * (m_Y[i] - y);
        if (d < bestD) {
            bestD = d;
            best = i;
        }
    }
    const size_t lo = best > coarse ? best - coarse : 0, hi = std::min(n - 1, best + coarse);
    for (size_t i = lo; i <= hi; ++i) {
        const double d = (m_X[i] - x) * (m_X[i] - x) + (m_Y[i] - y) * (m_Y[i] - y);
        if (d < bestD) {
            bestD = d;
            best = i;
        }
    }
    double s = -m_HalfLength + static_cast<double>(best) * m_Step;
    double tx, ty;
    TangentAt(s, tx, ty);
    const double rx = x - m_X[best], ry = y - m_Y[best];
    const double along = rx * tx + ry * ty;  // sub-sample refinement and overshoot at the ends
    s += along;
    // Outward normal: tangent turned +90° (the lips side for the front of the arch).
    return ArchPoint{s, -ty * rx + tx * ry};
}

}  // namespace zor::phantom
