#pragma once
// The panoramic projection look-up table: panoramic columns to points of the dental arch.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zor_vol/LutFile.h"

/// Maps raw panoramic columns (display column + left margin) to the panoramic curve: its point
/// in device coordinates (mm), its direction (rad) and an exposure factor. Owned by the
/// panoramic object on the user-interface thread.
///
/// Index conventions: `GetXY`, `GetAngle`, `GetFactor` and `m_Flags` take raw indices;
/// `MapCenterToPan` returns a display column, i.e. the raw index of the nearest curve point
/// minus the left margin given to `LoadLUT`, so GetXY(MapCenterToPan(p) + margin) is the curve
/// point nearest to p.
class CLUTProjection {
public:
    /// Loads `<folder><projectionName>_X.LUT`. 0 on success; 1 bad arguments, 2 file missing or
    /// unreadable, 3 malformed content. On failure the previous table is gone (count 0).
    int LoadLUT(std::wstring_view projectionName, int marginLeft, std::wstring_view folder);
    /// The file LoadLUT reads for `projectionName` in `folder`; "" for a name LoadLUT refuses
    /// (code 1): over 64 characters or holding '/' (the LUT is always in `folder`), or
    /// a folder over 1024. The one rule for callers that name the LUT file to the operator.
    static std::string LutPath(std::wstring_view projectionName, std::wstring_view folder);
    /// Display column of the curve point nearest to (x, y) mm; -1 when nothing is loaded, the
    /// point lies more than kMaxDistance mm from the curve, or the column falls left of the margin.
    int MapCenterToPan(double x, double y) const;
    /// 0 and the curve point (mm) for a flagged raw index; -1 otherwise (outputs untouched).
    int GetXY(int index, double* x, double* y) const;
    /// 0 and the curve direction (rad, within [-pi/2, pi/2]); -1 otherwise.
    int GetAngle(int index, double* angle) const;
    /// 0 and the exposure factor; -1 for an unflagged or out-of-range index.
    int GetFactor(int index, double* factor) const;
    bool IsValidIndex(int index) const {
        return index >= 0 && index < m_Count && m_Flags[static_cast<size_t>(index)] != 0;
    }
    int MarginLeft() const { return m_MarginLeft; }

    static constexpr double kMaxDistance = 20.0;

    int32_t m_Count = 0;           ///< entries loaded; 0 without a table
    std::vector<int32_t> m_Flags;  ///< per raw index, non-zero where GetXY/GetAngle apply

private:
    zor_vol_lut::LutTable m_Table;
    int m_MarginLeft = 0;
};
