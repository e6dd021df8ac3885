#include "zor_r3d/Trajectory.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "zor_io/RegularFile.h"

namespace zor_r3d {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::string_view kFirstLine = "ZORTRA 1";

std::string Num(double v) {
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    return std::string(buf, r.ptr);
}
std::string Fixed(double v, int digits) {
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, digits);
    return std::string(buf, r.ptr);
}

template <typename T>
bool ParseNumber(std::string_view s, T& v) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc{} && p == s.data() + s.size() && !s.empty();
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

}  // namespace

ViewGeometry ViewOf(const Trajectory& t, int view) {
    ViewGeometry g;
    g.BetaRad = (view - (t.Views - 1) * 0.5) * t.StepDeg * kPi / 180.0;
    const double dir = t.AxisAngleRad + kPi / 2 + g.BetaRad;  // second axis turned by beta
    g.Dx = std::cos(dir);
    g.Dy = std::sin(dir);
    g.Ux = g.Dy;  // d turned by -90°: the first axis for the middle view
    g.Uy = -g.Dx;
    g.Sx = t.CentreX - t.Sod * g.Dx;
    g.Sy = t.CentreY - t.Sod * g.Dy;
    g.Sz = t.CentreZ;
    return g;
}

bool IsValid(const Trajectory& t) {
    auto finite = [](double v) { return std::isfinite(v); };
    if (t.Views < 2 || t.Views > 64 || static_cast<int>(t.Order.size()) != t.Views) {
        return false;
    }
    std::vector<int> sorted = t.Order;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < t.Views; ++i) {
        if (sorted[static_cast<size_t>(i)] != i) {
            return false;
        }
    }
    for (double v : {t.CentreX, t.CentreY, t.CentreZ, t.AxisAngleRad}) {
        if (!finite(v) || std::fabs(v) > 1000.0) {
            return false;
        }
    }
    return finite(t.Diameter) && t.Diameter >= 5.0 && t.Diameter <= 100.0 && finite(t.StepDeg) &&
           t.StepDeg > 0.0 && t.StepDeg * (t.Views - 1) <= 360.0 && finite(t.FieldFactor) &&
           t.FieldFactor >= 1.0 && t.FieldFactor <= 5.0 && finite(t.MagH) && t.MagH >= 1.0 &&
           t.MagH <= 3.0 && finite(t.MagV) && t.MagV >= 1.0 && t.MagV <= 3.0 && finite(t.Sod) &&
           t.Sod >= 100.0 && t.Sod <= 2000.0 && t.DetCols >= 8 && t.DetCols <= 4096 &&
           t.DetRows >= 8 && t.DetRows <= 4096 && finite(t.PitchU) && t.PitchU >= 0.01 &&
           t.PitchU <= 5.0 && finite(t.PitchV) && t.PitchV >= 0.01 && t.PitchV <= 5.0 &&
           t.Nx >= 1 && t.Nx <= 50 && t.Ny >= 1 && t.Ny <= 1024 && t.Nz >= 1 && t.Nz <= 1024 &&
           finite(t.Dx) && t.Dx >= 0.01 && t.Dx <= 10.0 && finite(t.Dy) && t.Dy >= 0.01 &&
           t.Dy <= 10.0 && finite(t.Dz) && t.Dz >= 0.01 && t.Dz <= 10.0;
}

std::string FormatTrajectory(const Trajectory& t) {
    std::string s(kFirstLine);
    s += "\nviews=" + std::to_string(t.Views) + "\norder=";
    for (size_t i = 0; i < t.Order.size(); ++i) {
        if (i)
            s += ',';
        s += std::to_string(t.Order[i]);
    }
    s += "\ncentre_x=" + Num(t.CentreX) + "\ncentre_y=" + Num(t.CentreY) +
         "\ncentre_z=" + Num(t.CentreZ) + "\naxis_angle_rad=" + Num(t.AxisAngleRad) +
         "\ndiameter=" + Num(t.Diameter) + "\nstep_deg=" + Num(t.StepDeg) +
         "\nfield_factor=" + Num(t.FieldFactor) + "\nmag_h=" + Num(t.MagH) +
         "\nmag_v=" + Num(t.MagV) + "\nsod=" + Num(t.Sod) +
         "\ndet_cols=" + std::to_string(t.DetCols) + "\ndet_rows=" + std::to_string(t.DetRows) +
         "\npitch_u=" + Num(t.PitchU) + "\npitch_v=" + Num(t.PitchV) +
         "\nvol_nx=" + std::to_string(t.Nx) + "\nvol_ny=" + std::to_string(t.Ny) +
         "\nvol_nz=" + std::to_string(t.Nz) + "\nvol_dx=" + Num(t.Dx) + "\nvol_dy=" + Num(t.Dy) +
         "\nvol_dz=" + Num(t.Dz) + "\n";
    return s;
}

bool ParseTrajectory(std::string_view text, Trajectory& t) {
    t = Trajectory{};
    t.Order.clear();
    bool first = true, haveOrder = false;
    int seen = 0;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (first) {
            if (line != kFirstLine) {
                return false;
            }
            first = false;
            continue;
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            return false;
        }
        std::string_view k = line.substr(0, eq), v = line.substr(eq + 1);
        bool ok = true;
        ++seen;
        if (k == "order") {
            haveOrder = true;
            while (ok && !v.empty() && t.Order.size() < 65) {
                size_t c = v.find(',');
                int n = 0;
                ok = ParseNumber(v.substr(0, c), n);
                t.Order.push_back(n);
                v = c == std::string_view::npos ? std::string_view{} : v.substr(c + 1);
            }
        } else if (k == "views")
            ok = ParseNumber(v, t.Views);
        else if (k == "centre_x")
            ok = ParseNumber(v, t.CentreX);
        else if (k == "centre_y")
            ok = ParseNumber(v, t.CentreY);
        else if (k == "centre_z")
            ok = ParseNumber(v, t.CentreZ);
        else if (k == "axis_angle_rad")
            ok = ParseNumber(v, t.AxisAngleRad);
        else if (k == "diameter")
            ok = ParseNumber(v, t.Diameter);
        else if (k == "step_deg")
            ok = ParseNumber(v, t.StepDeg);
        else if (k == "field_factor")
            ok = ParseNumber(v, t.FieldFactor);
        else if (k == "mag_h")
            ok = ParseNumber(v, t.MagH);
        else if (k == "mag_v")
            ok = ParseNumber(v, t.MagV);
        else if (k == "sod")
            ok = ParseNumber(v, t.Sod);
        else if (k == "det_cols")
            ok = ParseNumber(v, t.DetCols);
        else if (k == "det_rows")
            ok = ParseNumber(v, t.DetRows);
        else if (k == "pitch_u")
            ok = ParseNumber(v, t.PitchU);
        else if (k == "pitch_v")
            ok = ParseNumber(v, t.PitchV);
        else if (k == "vol_nx")
            ok = ParseNumber(v, t.Nx);
        else if (k == "vol_ny")
            ok = ParseNumber(v, t.Ny);
        else if (k == "vol_nz")
            ok = ParseNumber(v, t.Nz);
        else if (k == "vol_dx")
            ok = ParseNumber(v, t.Dx);
        else if (k == "vol_dy")
            ok = ParseNumber(v, t.Dy);
        else if (k == "vol_dz")
            ok = ParseNumber(v, t.Dz);
        else
            --seen;  // unknown keys are informative
        if (!ok) {
            return false;
        }
    }
    return !first && haveOrder && seen >= 8 && IsValid(t);
}

bool ReadTrajectoryFile(const std::string& path, Trajectory& t, std::string* reason) {
    std::string text;
    if (zor::io::ReadWholeFile(path, text, 65536, reason) != zor::io::ReadStatus::Ok) {
        return false;
    }
    if (!ParseTrajectory(text, t)) {
        if (reason != nullptr) {
            *reason = path + ": not a trajectory, or values out of range";
        }
        return false;
    }
    return true;
}

StartPosition StartOf(const Trajectory& t) {
    StartPosition p;
    p.XMicrons = static_cast<int>(std::lround(t.CentreX * 1000.0));
    p.YMicrons = static_cast<int>(std::lround(t.CentreY * 1000.0));
    const ViewGeometry g = ViewOf(t, t.Order.empty() ? 0 : t.Order[0]);
    double deg = std::atan2(g.Dy, g.Dx) * 180.0 / kPi;
    p.RotationCentiDeg = static_cast<int>(std::lround(deg * 100.0));
    p.Columns = t.DetCols;
    return p;
}

bool WriteTrajectoryFiles(const std::string& folder, const Trajectory& t) {
    std::string csv =
        "index,view,beta_deg,source_x,source_y,source_z,detector_x,detector_y,detector_z,"
        "u_x,u_y\n";
    const double sdd = t.Sod * t.MagH;
    for (int i = 0; i < t.Views; ++i) {
        const int v = t.Order[static_cast<size_t>(i)];
        const ViewGeometry g = ViewOf(t, v);
        csv += std::to_string(i + 1) + "," + std::to_string(v) + "," +
               Fixed(g.BetaRad * 180.0 / kPi, 3) + "," + Fixed(g.Sx, 4) + "," + Fixed(g.Sy, 4) +
               "," + Fixed(g.Sz, 4) + "," + Fixed(g.Sx + sdd * g.Dx, 4) + "," +
               Fixed(g.Sy + sdd * g.Dy, 4) + "," + Fixed(g.Sz, 4) + "," + Fixed(g.Ux, 6) + "," +
               Fixed(g.Uy, 6) + "\n";
    }
    const StartPosition p = StartOf(t);
    const std::string p0csv = "x_um,y_um,rotation_cdeg,columns\n" + std::to_string(p.XMicrons) +
                              "," + std::to_string(p.YMicrons) + "," +
                              std::to_string(p.RotationCentiDeg) + "," + std::to_string(p.Columns) +
                              "\n";
    const std::string p0txt = "X=" + std::to_string(p.XMicrons) +
                              "\nY=" + std::to_string(p.YMicrons) +
                              "\nROT=" + std::to_string(p.RotationCentiDeg) +
                              "\nCOLS=" + std::to_string(p.Columns) + "\n";
    const std::string test = "trajectory=OK\nviews=" + std::to_string(t.Views) +
                             "\narc_deg=" + Fixed(t.StepDeg * (t.Views - 1), 3) +
                             "\nsource_to_axis_mm=" + Fixed(t.Sod, 3) +
                             "\nsource_to_detector_mm=" + Fixed(sdd, 3) +
                             "\nprojection=" + std::to_string(t.DetCols) + "x" +
                             std::to_string(t.DetRows) + "\nvolume=" + std::to_string(t.Nx) + "x" +
                             std::to_string(t.Ny) + "x" + std::to_string(t.Nz) + "\n";
    return WriteText(folder + "ConeBeam.tra", FormatTrajectory(t)) &&
           WriteText(folder + "ConeBeam.csv", csv) &&
           WriteText(folder + "ConeBeam_P0.csv", p0csv) &&
           WriteText(folder + "ConeBeam_P0.txt", p0txt) && WriteText(folder + "Test.txt", test);
}

}  // namespace zor_r3d
