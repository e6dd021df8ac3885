#include "zor_vol/LutFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "zor_io/RegularFile.h"

namespace zor_vol_lut {
namespace {

constexpr std::string_view kFirstLine = "ZORLUT 1";
constexpr double kPictureRange = 71.0;
// Exposure factors are relative doses; anything outside these is a damaged file.
constexpr double kMinFactor = 0.001, kMaxFactor = 100.0;

// Next line without its CR LF or LF; false at the end of the text.
bool NextLine(std::string_view& text, std::string_view& line) {
    if (text.empty()) {
        return false;
    }
    size_t nl = text.find('\n');
    line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return true;
}

template <typename T>
bool Field(std::string_view& line, T& value) {
    while (!line.empty() && line.front() == ' ') {
        line.remove_prefix(1);
    }
    auto [ptr, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (ec != std::errc{} || ptr == line.data()) {
        return false;
    }
    line.remove_prefix(static_cast<size_t>(ptr - line.data()));
    return line.empty() || line.front() == ' ';
}

// The shortest text that reads back as the same double, so whatever the reader accepts the
// writer reproduces exactly (a fixed number of decimals would turn a tiny pitch into 0).
void Append(std::string& out, double v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

}  // namespace

bool ParseLut(std::string_view text, LutTable& table) {
    table = LutTable{};
    std::string_view line;
    if (!NextLine(text, line) || line != kFirstLine) {
        return false;
    }
    size_t count = 0;
    bool haveCount = false;
    while (NextLine(text, line) && line != "data") {
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            return false;
        }
        std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "id") {
            if (value.size() > 64) {
                return false;
            }
            table.Id = std::string(value);
        } else if (key == "count") {
            if (!Field(value, count) || !value.empty() || count < 2 || count > kMaxEntries) {
                return false;
            }
            haveCount = true;
        } else if (key == "pitch") {
            if (!Field(value, table.ColumnPitch) || !value.empty() ||
                !(table.ColumnPitch > 0.0 && table.ColumnPitch < 10.0)) {
                return false;
            }
        }  // other keys are informative
    }
    if (line != "data" || !haveCount) {
        return false;
    }
    table.Entries.resize(count);
    for (size_t i = 0; i < count; ++i) {
        size_t index = 0;
        LutEntry& e = table.Entries[i];
        if (!NextLine(text, line) || !Field(line, index) || index != i || !Field(line, e.Flag) ||
            !Field(line, e.X) || !Field(line, e.Y) || !Field(line, e.Angle) ||
            !Field(line, e.Factor) || !line.empty()) {
            table.Entries.clear();
            return false;
        }
        if (!std::isfinite(e.X) || !std::isfinite(e.Y) || !std::isfinite(e.Angle) ||
            !std::isfinite(e.Factor) || std::fabs(e.X) > kPictureRange ||
            std::fabs(e.Y) > kPictureRange || std::fabs(e.Angle) > 7.0 || e.Factor < kMinFactor ||
            e.Factor > kMaxFactor) {
            table.Entries.clear();
            return false;
        }
    }
    // Exactly `count` entries: a further entry means the count and the table disagree.
    while (NextLine(text, line)) {
        if (!line.empty()) {
            table.Entries.clear();
            return false;
        }
    }
    return true;
}

std::string FormatLut(const LutTable& table) {
    std::string out;
    out.reserve(64 + table.Entries.size() * 48);
    out += kFirstLine;
    out += "\nid=" + table.Id + "\ncount=" + std::to_string(table.Entries.size()) + "\npitch=";
    Append(out, table.ColumnPitch);
    out += "\ncolumns=index flag x_mm y_mm angle_rad factor\ndata\n";
    for (size_t i = 0; i < table.Entries.size(); ++i) {
        const LutEntry& e = table.Entries[i];
        out += std::to_string(i) + ' ' + std::to_string(e.Flag) + ' ';
        Append(out, e.X);
        out += ' ';
        Append(out, e.Y);
        out += ' ';
        Append(out, e.Angle);
        out += ' ';
        Append(out, e.Factor);
        out += '\n';
    }
    return out;
}

LutRead ReadLutFile(const std::string& path, LutTable& table, std::string* reason) {
    table = LutTable{};
    std::string text;
    switch (zor::io::ReadWholeFile(path, text, kMaxEntries * 200 + 4096, reason)) {
        case zor::io::ReadStatus::Ok:
            break;
        case zor::io::ReadStatus::TooLarge:
            return LutRead::Malformed;
        default:
            return LutRead::Unreadable;
    }
    if (!ParseLut(text, table)) {
        if (reason != nullptr) {
            *reason = path +
                      ": not a projection LUT (first line, count, or an entry malformed, "
                      "out of range, missing or beyond the count)";
        }
        return LutRead::Malformed;
    }
    return LutRead::Ok;
}

bool WriteLutFile(const std::string& path, const LutTable& table) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string text = FormatLut(table);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace zor_vol_lut
