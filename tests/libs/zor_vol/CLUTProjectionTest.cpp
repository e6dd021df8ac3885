// Projection LUT: file round trip, refusal of damaged files, nearest-column mapping.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <string>
#include <tuple>

#include "support/TempDir.h"
#include "zor_vol/CLUTProjection.h"
#include "zor_vol/LutFile.h"

namespace fs = std::filesystem;
using zor_vol_lut::LutTable;

namespace {

// A half circle of radius 30 mm around the origin, 400 columns, ends unflagged.
LutTable HalfCircle() {
    LutTable t{.Id = "0.0.31.10", .ColumnPitch = 0.2356};
    for (int i = 0; i < 400; ++i) {
        const double phi = M_PI * i / 399.0;
        t.Entries.push_back({(i < 5 || i > 394) ? 0 : 1, 30.0 * std::cos(phi),
                             -30.0 * std::sin(phi), phi - M_PI / 2, 1.0 + i * 0.001});
    }
    return t;
}

std::wstring Wide(const zor::test::TempDir& dir) {
    const std::string s = dir.Slash();
    return std::wstring(s.begin(), s.end());
}

}  // namespace

TEST(LutFile, RoundTripIsExact) {
    LutTable t = HalfCircle();
    t.ColumnPitch = 7.8752e-12;  // accepted by the reader, so the writer must keep it
    t.Entries[0].X = 28.000000000000004;
    LutTable back;
    ASSERT_TRUE(zor_vol_lut::ParseLut(zor_vol_lut::FormatLut(t), back));
    auto fields = [](const zor_vol_lut::LutEntry& e) {
        return std::tuple(e.Flag, e.X, e.Y, e.Angle, e.Factor);
    };
    ASSERT_EQ(back.Entries.size(), t.Entries.size());
    for (size_t i = 0; i < t.Entries.size(); ++i)
        EXPECT_EQ(fields(back.Entries[i]), fields(t.Entries[i])) << i;
    EXPECT_EQ(std::tuple(back.Id, back.ColumnPitch), std::tuple(t.Id, t.ColumnPitch));
    // CR LF line ends are accepted as well.
    std::string crlf;
    for (char c : zor_vol_lut::FormatLut(t))
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(zor_vol_lut::ParseLut(crlf, back));
}

// The display column of the nearest curve point, and refusal of damaged files.
TEST(CLUTProjection, MapCenterToPanAndDamagedFiles) {
    zor::test::TempDir dir;
    const LutTable table = HalfCircle();
    ASSERT_TRUE(zor_vol_lut::WriteLutFile(dir.Slash() + "0.0.31.10_X.LUT", table));
    CLUTProjection lut;
    const int margin = 74;
    ASSERT_EQ(lut.LoadLUT(L"0.0.31.10", margin, Wide(dir)), 0);
    ASSERT_EQ(lut.m_Count, 400);
    for (int raw : {100, 150, 200, 333, 394}) {
        const zor_vol_lut::LutEntry& e = table.Entries[static_cast<size_t>(raw)];
        double x, y;
        ASSERT_EQ(lut.GetXY(raw, &x, &y), 0);
        EXPECT_EQ(std::pair(x, y), std::pair(e.X, e.Y)) << raw;
        // Slightly off the curve, towards the centre: still the same column.
        EXPECT_EQ(lut.MapCenterToPan(e.X * 0.98, e.Y * 0.98), raw - margin) << raw;
    }
    EXPECT_EQ(lut.MapCenterToPan(0.0, 0.0), -1);    // 30 mm from every curve point
    EXPECT_EQ(lut.MapCenterToPan(30.0, -0.5), -1);  // nearest column lies in the margin
    double v = 0.0;
    EXPECT_EQ(lut.GetAngle(2, &v), -1);  // unflagged
    EXPECT_EQ(lut.GetFactor(400, &v), -1);
    EXPECT_EQ(lut.GetFactor(-1, &v), -1);
    ASSERT_EQ(lut.GetFactor(200, &v), 0);
    EXPECT_NEAR(v, 1.2, 1e-6);
    const std::string good = zor_vol_lut::FormatLut(table);
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    // Damage to values goes through the writer, which reproduces whatever it is given.
    auto withEntry = [&](int index, auto change) {
        LutTable t = table;
        change(t.Entries[static_cast<size_t>(index)]);
        return zor_vol_lut::FormatLut(t);
    };
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"short", good.substr(0, good.size() / 2)},
        {"no data line", replace("data\n", "")},
        {"count zero", replace("count=400", "count=0")},
        {"count huge", replace("count=400", "count=99999999999")},
        {"count above entries", replace("count=400", "count=401")},
        {"entries beyond count", replace("count=400", "count=399")},
        {"index out of order", replace("\n7 1 ", "\n8 1 ")},
        {"garbage", replace("\n9 1 ", "\n9 1 x ")},
        {"first line", replace("ZORLUT 1", "ZORLUT 2")},
        {"nan", withEntry(7, [](auto& e) { e.X = std::nan(""); })},
        {"outside picture", withEntry(0, [](auto& e) { e.X = 90.0; })},
        // Found by fuzzing: a factor too small to be a dose.
        {"factor tiny", withEntry(7, [](auto& e) { e.Factor = 0.0000000666; })},
    };
    for (const auto& c : cases) {
        zor::test::WriteFile(dir / "P_X.LUT", c.text);
        EXPECT_NE(lut.LoadLUT(L"P", 74, Wide(dir)), 0) << c.name;  // and the old table goes
        EXPECT_EQ(lut.m_Count, 0) << c.name;
        EXPECT_EQ(lut.MapCenterToPan(30.0, 0.0), -1) << c.name;
    }
    EXPECT_EQ(lut.LoadLUT(L"missing", 74, Wide(dir)), 2);
    ASSERT_EQ(::mkfifo(dir.File("fifo_X.LUT").c_str(), 0600), 0);
    EXPECT_EQ(lut.LoadLUT(L"fifo", 74, Wide(dir)), 2);  // at once, not waiting for a writer
    EXPECT_EQ(lut.LoadLUT(L"P", -1, Wide(dir)), 1);
    // The LUT is always in the folder given: a name reaching elsewhere is refused, not looked up.
    ASSERT_TRUE(zor_vol_lut::WriteLutFile(dir.File("0.0.31.10_X.LUT"), table));
    fs::create_directory(dir / "sub");
    EXPECT_EQ(lut.LoadLUT(L"../0.0.31.10", 0, Wide(dir) + L"sub/"), 1);
    EXPECT_EQ(CLUTProjection::LutPath(L"../0.0.31.10", Wide(dir)), "");
}
