#include "zor_vol/CLUTProjection.h"

#include <cmath>
#include <limits>
#include <string>

#include "zor_text/Utf.h"

std::string CLUTProjection::LutPath(std::wstring_view projectionName, std::wstring_view folder) {
    if (projectionName.size() > 64 || folder.size() > 1024 ||
        projectionName.find(L'/') != std::wstring_view::npos) {
        return {};
    }
    return zor::text::WideToUtf8(folder) + zor::text::WideToUtf8(projectionName) + "_X.LUT";
}

int CLUTProjection::LoadLUT(std::wstring_view projectionName, int marginLeft,
                            std::wstring_view folder) {
    m_Count = 0;
    m_Flags.clear();
    m_Table = zor_vol_lut::LutTable{};
    const std::string path = LutPath(projectionName, folder);
    if (marginLeft < 0 || marginLeft > 10000 || path.empty()) {
        return 1;
    }
    zor_vol_lut::LutTable table;
    switch (zor_vol_lut::ReadLutFile(path, table)) {
        case zor_vol_lut::LutRead::Ok:
            break;
        case zor_vol_lut::LutRead::Unreadable:
            return 2;
        case zor_vol_lut::LutRead::Malformed:
            return 3;
    }
    m_Table = std::move(table);
    m_MarginLeft = marginLeft;
    m_Flags.reserve(m_Table.Entries.size());
    for (const auto& e : m_Table.Entries) {
        m_Flags.push_back(e.Flag != 0 ? 1 : 0);
    }
    m_Count = static_cast<int32_t>(m_Table.Entries.size());
    return 0;
}

int CLUTProjection::MapCenterToPan(double x, double y) const {
    if (m_Count == 0 || !std::isfinite(x) || !std::isfinite(y)) {
        return -1;
    }
    double best = std::numeric_limits<double>::max();
    int bestIndex = -1;
    for (int i = 0; i < m_Count; ++i) {
        const auto& e = m_Table.Entries[static_cast<size_t>(i)];
        if (e.Flag == 0) {
            continue;
        }
        const double d = (e.X - x) * (e.X - x) + (e.Y - y) * (e.Y - y);
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    if (bestIndex < 0 || best > kMaxDistance * kMaxDistance) {
        return -1;
    }
    const int column = bestIndex - m_MarginLeft;
    return column >= 0 ? column : -1;
}

int CLUTProjection::GetXY(int index, double* x, double* y) const {
    if (!IsValidIndex(index) || x == nullptr || y == nullptr) {
        return -1;
    }
    *x = m_Table.Entries[static_cast<size_t>(index)].X;
    *y = m_Table.Entries[static_cast<size_t>(index)].Y;
    return 0;
}

int CLUTProjection::GetAngle(int index, double* angle) const {
    if (!IsValidIndex(index) || angle == nullptr) {
        return -1;
    }
    *angle = m_Table.Entries[static_cast<size_t>(index)].Angle;
    return 0;
}

int CLUTProjection::GetFactor(int index, double* factor) const {
    if (!IsValidIndex(index) || factor == nullptr) {
        return -1;
    }
    *factor = m_Table.Entries[static_cast<size_t>(index)].Factor;
    return 0;
}
