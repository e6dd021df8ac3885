#include "driver_sim/DriverSim.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "phantom/DemoData.h"
#include "phantom/PhantomImaging.h"
#include "zor_io/RegularFile.h"
#include "zor_r3d/ProjectionIo.h"
#include "zor_r3d/Trajectory.h"

namespace zor::driver_sim {
namespace {

// The system writes one line of about 3 KB; anything far larger is not a parameter file.
constexpr std::size_t kMaxParameterBytes = 64 * 1024;
constexpr std::size_t kMaxCsvBytes = 64 * 1024;
// Collimator position scale shared with the system's collimator check: a blade position is the
// blocked fraction of the detector height times this value.
constexpr double kCollimatorScale = 19750.0;

// ---------------------------------------------------------------- parameter file

ParameterCheck Refuse(std::string message) {
    ParameterCheck c;
    c.errorCode = kErrParameterFile;
    c.message = "parameter file refused: " + std::move(message);
    return c;
}

bool IsUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = 0;
        unsigned minimum = 0;
        unsigned code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1, minimum = 0x80, code = c & 0x1Fu;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, minimum = 0x800, code = c & 0x0Fu;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, minimum = 0x10000, code = c & 0x07u;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(extra) >= s.size())
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((d & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (d & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

// Strict decimal integer: optional minus, digits only, within 32 bits.
bool ParseInt(const std::string& text, int& value) {
    if (text.empty() || text.size() > 11)
        return false;
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size())
        return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    if (text[0] == '-')
        v = -v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return false;
    value = static_cast<int>(v);
    return true;
}

// The tokens of the line as (key, value) pairs: a "#" token opens a key, the following tokens
// joined by single spaces are its value (paths may hold spaces). Empty tokens (double spaces)
// and words before the first key are refused.
bool Tokenize(const std::string& line, std::vector<std::pair<std::string, std::string>>& pairs,
              std::string& problem) {
    std::size_t pos = 0;
    while (pos <= line.size()) {
        const std::size_t end = std::min(line.find(' ', pos), line.size());
        const std::string token = line.substr(pos, end - pos);
        if (token.empty()) {
            problem = "empty token at byte " + std::to_string(pos);
            return false;
        }
        if (token[0] == '#') {
            pairs.emplace_back(token, std::string());
        } else if (pairs.empty()) {
            problem = "text before the first key";
            return false;
        } else {
            std::string& value = pairs.back().second;
            value += (value.empty() ? "" : " ") + token;
        }
        pos = end + 1;
    }
    return true;
}

}  // namespace

ParameterCheck ParseParameterText(const std::string& raw) {
    std::string line = raw;
    // The system writes no line end; one written by a hand editor is forgiven.
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty())
        return Refuse("empty file");
    if (line.find_first_of(std::string("\n\r\0", 3)) != std::string::npos)
        return Refuse("more than one line or a NUL byte");
    if (!IsUtf8(line))
        return Refuse("not UTF-8 text");
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string problem;
    if (!Tokenize(line, pairs, problem))
        return Refuse(problem);
    std::map<std::string, std::string> values;
    for (const auto& [key, value] : pairs) {
        if (value.empty())
            return Refuse("key " + key + " has no value");
        if (!values.emplace(key, value).second)
            return Refuse("key " + key + " given twice");
    }

    ParameterCheck check;
    ParameterSet& p = check.params;
    std::set<std::string> used;
    auto text = [&](const std::string& key, std::string& out) {
        const auto it = values.find(key);
        if (it == values.end()) {
            problem = "missing key " + key;
            return false;
        }
        out = it->second;
        used.insert(key);
        return true;
    };
    auto number = [&](const std::string& key, int& out, int lo, int hi) {
        std::string t;
        if (!text(key, t))
            return false;
        if (!ParseInt(t, out)) {
            problem = "key " + key + " is not an integer: \"" + t.substr(0, 40) + "\"";
            return false;
        }
        if (out < lo || out > hi) {
            problem = "key " + key + " = " + t + " outside " + std::to_string(lo) + ".." +
                      std::to_string(hi);
            return false;
        }
        return true;
    };
    constexpr int kAny = std::numeric_limits<int>::max();
    const bool ok =
        number("#CALLER", p.Caller, kSystemCaller, kSystemCaller) && text("#DIR", p.Dir) &&
        text("#FILE", p.File) && number("#KV", p.Kv, 1, 200) && number("#MA", p.Ma, 1, 100) &&
        number("#PRJGRPIDX", p.ProjectionGroup, 4, 4) &&
        number("#PRJTYPEIDX", p.ProjectionType, 0, 0) &&
        number("#PATORIENT", p.PatientOrientation, -kAny, kAny) &&
        number("#YCANMOVE", p.YCanMove, 0, 1) && number("#INITXPOS", p.InitX, -kAny, kAny) &&
        number("#INITYPOS", p.InitY, -kAny, kAny) && number("#INITRPOS", p.InitR, -kAny, kAny) &&
        number("#COLSNUM", p.Cols, 1, kAny) &&
        number("#SUBIMGNUM", p.SubImageCount, kProjectionCount, kProjectionCount) &&
        number("#Y_CORRECTION", p.YCorrection, -kAny, kAny) &&
        number("#EXPOSURE_TIME", p.ExposureTimeMs, 0, 600000);
    if (!ok)
        return Refuse(problem);
    const bool hasLower = values.count("#COLLIM_POS_INF") != 0;
    p.HasCollimator = values.count("#COLLIM_POS_SUP") != 0;
    if (hasLower != p.HasCollimator)
        return Refuse("only one of #COLLIM_POS_INF and #COLLIM_POS_SUP given");
    if (p.HasCollimator && !(number("#COLLIM_POS_INF", p.CollimatorLower, 0, 5600) &&
                             number("#COLLIM_POS_SUP", p.CollimatorUpper, -19749, 0)))
        return Refuse(problem);
    for (int i = 1; i <= kProjectionCount; ++i) {
        SubImage& s = p.SubImages[static_cast<std::size_t>(i - 1)];
        const std::string k = "#SUBIMG_" + std::to_string(i) + "_";
        if (!(number(k + "COLSNUM", s.Cols, 1, 16384) &&
              number(k + "HORZMAGNIFACTOR", s.HorzMagnification, 1, kAny) &&
              number(k + "VERTMAGNIFACTOR", s.VertMagnification, 1, kAny) &&
              number(k + "MARGINLEFT", s.MarginLeft, 0, 16384) &&
              number(k + "MARGINRIGHT", s.MarginRight, 0, 16384) &&
              number(k + "MARGINTOP", s.MarginTop, 0, 16384) &&
              number(k + "MARGINBOTTOM", s.MarginBottom, 0, 16384)))
            return Refuse(problem);
        if (static_cast<long long>(s.Cols) * kProjectionCount != p.Cols)
            return Refuse("#COLSNUM " + std::to_string(p.Cols) + " is not 11 x " + k + "COLSNUM " +
                          std::to_string(s.Cols));
    }
    for (const auto& [key, value] : pairs) {
        (void)value;
        if (used.count(key) == 0)
            return Refuse("unknown key " + key);
    }
    check.ok = true;
    return check;
}

ParameterCheck ReadParameterFile(const std::string& path) {
    std::string text;
    std::string reason;
    switch (zor::io::ReadWholeFile(path, text, kMaxParameterBytes, &reason)) {
        case zor::io::ReadStatus::Ok:
            return ParseParameterText(text);
        case zor::io::ReadStatus::Missing:
            return Refuse("missing: " + path);
        case zor::io::ReadStatus::NotRegular:
            return Refuse("not a regular file: " + path);
        case zor::io::ReadStatus::TooLarge:
            return Refuse("larger than " + std::to_string(kMaxParameterBytes) + " bytes: " + path);
        case zor::io::ReadStatus::Error:
            break;
    }
    return Refuse("unreadable: " + reason);
}

// ---------------------------------------------------------------- atomic files

namespace {

bool Fail(std::string* error, const std::string& message) {
    if (error != nullptr)
        *error = message;
    return false;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The temporary name beside `path`: neither the final name nor one the system's projection
// search ("3DTS_image_projection_*.tif") or panoramic watcher ("cur_pano.tif") would match.
std::string TemporaryFor(const std::string& path) {
    return FolderOf(path) + "." + NameOf(path) + "." + std::to_string(::getpid()) + ".part";
}

bool SyncPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Makes the written temporary file durable, then gives it its final name in one step, so that
// a reader sees either the old file or the whole new one.
bool Publish(const std::string& temporary, const std::string& path, std::string* error) {
    if (!SyncPath(temporary, O_RDONLY)) {
        ::unlink(temporary.c_str());
        return Fail(error, "cannot sync " + temporary + ": " + std::strerror(errno));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temporary.c_str());
        return Fail(error, "cannot rename " + temporary + " to " + path + ": " + why);
    }
    // The rename itself lives in the folder; a folder that cannot be synced is not an error.
    SyncPath(FolderOf(path), O_RDONLY | O_DIRECTORY);
    return true;
}

bool WriteTextAtomically(const std::string& path, const std::string& text, std::string* error) {
    const std::string temporary = TemporaryFor(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return Fail(error, "cannot create " + temporary + ": " + std::strerror(errno));
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string why = std::strerror(errno);
            ::close(fd);
            ::unlink(temporary.c_str());
            return Fail(error, "cannot write " + temporary + ": " + why);
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return Publish(temporary, path, error);
}

std::string ImageIdNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char id[32];
    std::strftime(id, sizeof id, "SIM%Y%m%d%H%M%S", &parts);
    return id;
}

}  // namespace

bool WriteCurrentPanoramic(const std::string& workFolder, phantom::PhantomKind kind,
                           std::string* error) {
    const std::string path = workFolder + "cur_pano.tif";
    const std::string temporary = TemporaryFor(path);
    if (!phantom::WritePhantomPanoramic(kind, temporary, ImageIdNow(), error)) {
        ::unlink(temporary.c_str());
        return false;
    }
    return Publish(temporary, path, error);
}

// ---------------------------------------------------------------- projections

namespace {

ProjectionResult Failed(int code, std::string message) {
    ProjectionResult r;
    r.code = code;
    r.message = std::move(message);
    return r;
}

// The geometry of an acquisition is "ConeBeam.tra"; the driver is handed "ConeBeam.csv" (one
// line per acquisition) beside it. Given either, the .tra is read, and a .csv, when that is
// what was given, must list the same views in the same order.
bool ReadAcquisitionTrajectory(const std::string& path, zor_r3d::Trajectory& t,
                               std::string& reason) {
    const std::size_t dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : path.substr(dot);
    if (ext != ".csv" && ext != ".tra") {
        reason = "not a trajectory file (.csv or .tra): " + path;
        return false;
    }
    const std::string tra = path.substr(0, dot) + ".tra";
    if (!zor_r3d::ReadTrajectoryFile(tra, t, &reason)) {
        reason = "trajectory unreadable: " + reason;
        return false;
    }
    if (ext == ".tra")
        return true;
    std::string csv;
    if (zor::io::ReadWholeFile(path, csv, kMaxCsvBytes, &reason) != zor::io::ReadStatus::Ok) {
        reason = "trajectory unreadable: " + reason;
        return false;
    }
    std::vector<int> views;
    std::size_t pos = csv.find('\n');  // past the header line
    while (pos != std::string::npos && pos + 1 < csv.size()) {
        const std::size_t end = csv.find('\n', pos + 1);
        const std::string line =
            csv.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
        const std::size_t c1 = line.find(',');
        const std::size_t c2 = c1 == std::string::npos ? c1 : line.find(',', c1 + 1);
        int view = 0;
        if (c2 == std::string::npos || !ParseInt(line.substr(c1 + 1, c2 - c1 - 1), view)) {
            reason =
                "malformed trajectory line " + std::to_string(views.size() + 1) + " in " + path;
            return false;
        }
        views.push_back(view);
        pos = end;
    }
    if (views != t.Order) {
        reason = path + " does not list the views of " + tra;
        return false;
    }
    return true;
}

// Blocked fractions of the detector height (bottom, top) from the collimator positions.
void CollimatorFractions(const ParameterSet& p, double& bottom, double& top) {
    bottom = p.HasCollimator ? p.CollimatorLower / kCollimatorScale : 0.0;
    top = p.HasCollimator ? -p.CollimatorUpper / kCollimatorScale : 0.0;
}

// Quanta per detector pixel for an unattenuated ray: proportional to the tube current-time
// product of one projection (70 kV, 8 mA, 12 s over 11 projections gives about 22000).
double FlatQuanta(const ParameterSet& p) {
    const double mAs = p.Ma * (p.ExposureTimeMs / 1000.0) / kProjectionCount;
    const double kvFactor = (p.Kv / 70.0) * (p.Kv / 70.0);
    return std::clamp(2500.0 * mAs * kvFactor, 50.0, zor_r3d::kFlatValue);
}

// Detector samples of one view: the rows the collimator blades cover receive only the leakage
// through them; the others Poisson-distributed quanta scaled to the flat value.
std::vector<uint16_t> Expose(const std::vector<float>& lineIntegrals, int rows, int cols,
                             double bottom, double top, double quanta, std::mt19937& random) {
    const int topRows = static_cast<int>(rows * top);
    const int bottomRows = static_cast<int>(rows * bottom);
    const double gain = zor_r3d::kFlatValue / quanta;
    constexpr double kBladeIntegral = 9.0;  // a lead blade lets through e^-9 of the beam
    std::vector<uint16_t> out(lineIntegrals.size());
    for (int r = 0; r < rows; ++r) {
        const bool blocked = r < topRows || r >= rows - bottomRows;
        for (int c = 0; c < cols; ++c) {
            const std::size_t i = static_cast<std::size_t>(r) * static_cast<std::size_t>(cols) +
                                  static_cast<std::size_t>(c);
            const double p = lineIntegrals[i] + (blocked ? kBladeIntegral : 0.0);
            const double mean = quanta * std::exp(-p);
            const double counted =
                mean > 0.0 ? static_cast<double>(std::poisson_distribution<long>(mean)(random))
                           : 0.0;
            out[i] = static_cast<uint16_t>(std::clamp(std::lround(counted * gain), 1L, 65535L));
        }
    }
    return out;
}

// Dose-area product (mGy·cm²) of one projection: tube output model times the open field.
double DoseAreaProduct(const ParameterSet& p, const zor_r3d::Trajectory& t, double bottom,
                       double top) {
    const double fieldCm2 = (t.DetCols * t.PitchU / 10.0) * (t.DetRows * t.PitchV / 10.0);
    const double seconds = p.ExposureTimeMs / 1000.0 / kProjectionCount;
    return 1.1e-5 * p.Kv * p.Kv * p.Ma * seconds * fieldCm2 * std::max(0.0, 1.0 - bottom - top);
}

void RemoveProjections(const std::string& folder) {
    for (int i = 1; i <= kProjectionCount; ++i) {
        const std::string path = zor_r3d::ProjectionPath(folder, i);
        ::unlink(path.c_str());
        ::unlink(TemporaryFor(path).c_str());
    }
}

}  // namespace

ProjectionResult AcquireProjections(const ProjectionRun& run) {
    const auto cancelled = [&run] { return run.cancelled && run.cancelled(); };
    zor_r3d::Trajectory t;
    std::string reason;
    if (!ReadAcquisitionTrajectory(run.trajectoryPath, t, reason))
        return Failed(kErrTrajectory, reason);
    if (t.Views != kProjectionCount)
        return Failed(kErrTrajectory, "trajectory has " + std::to_string(t.Views) +
                                          " views, the device acquires " +
                                          std::to_string(kProjectionCount));
    // Projections of an earlier acquisition must not mix with this one's.
    RemoveProjections(run.outputFolder);
    if (cancelled())
        return Failed(kErrAborted, kAbortedMessage);
    const phantom::DentalPhantom phantom(run.kind);
    const auto grid = phantom::BuildGrid(phantom);
    if (cancelled())
        return Failed(kErrAborted, kAbortedMessage);
    const auto views = phantom::ProjectViews(*grid, t);

    double bottom = 0.0, top = 0.0;
    CollimatorFractions(run.params, bottom, top);
    const double quanta = FlatQuanta(run.params);
    const double dap = DoseAreaProduct(run.params, t, bottom, top);
    std::mt19937 random(run.noiseSeed);
    ProjectionResult result;
    for (int i = 0; i < t.Views; ++i) {
        if (cancelled()) {
            RemoveProjections(run.outputFolder);
            return Failed(kErrAborted, kAbortedMessage);
        }
        const int view = t.Order[static_cast<std::size_t>(i)];
        char description[512];
        std::snprintf(description, sizeof description,
                      "orvix=200,source=TALVERN,type=PROJ,pixsize=%.4f,tech_fact_kV=%d,"
                      "tech_fact_mA=%d,tech_fact_s=%.3f,DAP=%.2f,patient_orient=%d,"
                      "Y_value=%d,projection_index=%d,projection_view=%d,projection_count=%d",
                      t.PitchU * t.MagH, run.params.Kv, run.params.Ma,
                      run.params.ExposureTimeMs / 1000.0, dap, run.params.PatientOrientation,
                      run.params.YCorrection, i + 1, view, t.Views);
        const std::string path = zor_r3d::ProjectionPath(run.outputFolder, i + 1);
        const std::string temporary = TemporaryFor(path);
        const auto samples = Expose(views[static_cast<std::size_t>(view)], t.DetRows, t.DetCols,
                                    bottom, top, quanta, random);
        std::string error;
        if (!zor_r3d::WriteGrey16Tiff(temporary, t.DetCols, t.DetRows, samples, description) ||
            !Publish(temporary, path, &error)) {
            ::unlink(temporary.c_str());
            RemoveProjections(run.outputFolder);
            return Failed(kErrWrite, error.empty() ? "cannot write " + temporary : error);
        }
        result.written = i + 1;
        if (run.progress)
            run.progress(i + 1, t.Views);
    }
    result.code = kCodeProjectionsReady;
    result.dir = run.outputFolder;
    result.file = "3DTS_image_projection_*.tif";
    return result;
}

// ---------------------------------------------------------------- answer file

std::string FormatAnswer(const Answer& answer) {
    // The reader splits at spaces and joins a key's words again with single spaces; line ends
    // would cut the line, so they become spaces, and runs of spaces collapse to one.
    auto clean = [](const std::string& text) {
        std::string out;
        for (char c : text) {
            const char d = (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
            if (d == ' ' && (out.empty() || out.back() == ' '))
                continue;
            out.push_back(d);
        }
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        // A word beginning with '#' would open a new key in the reader.
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (out[i] == '#' && (i == 0 || out[i - 1] == ' '))
                out[i] = '_';
        }
        return out;
    };
    std::string line =
        "#CALLER " + std::to_string(answer.caller) + " #ERR " + std::to_string(answer.code);
    const std::string message = clean(answer.message);
    if (!message.empty())
        line += " #MSG " + message;
    if (answer.code == kCodeProjectionsReady) {
        const std::string dir = clean(answer.dir), file = clean(answer.file);
        if (!dir.empty())
            line += " #DIR " + dir;
        if (!file.empty())
            line += " #FILE " + file;
    }
    return line;
}

bool WriteAnswerFile(const std::string& path, const Answer& answer, std::string* error) {
    return WriteTextAtomically(path, FormatAnswer(answer) + "\n", error);
}

}  // namespace zor::driver_sim
