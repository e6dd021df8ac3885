// Projection LUT: file round trip, refusal of damaged files, nearest-column mapping.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/TempDir.h"
#include "zor_vol/CLUTProjection.h"
#include "zor_vol/LutFile.h"

using zor_vol_lut::LutTable;

namespace {

// A half circle of radius 30 mm around the origin, 400 columns, ends unflagged.
LutTable HalfCircle() {
    LutTable t;
    t.Id = "0.0.31.10";
    t.ColumnPitch = 0.2356;
    for (int i = 0; i < 400; ++i) {
        const double phi = M_PI * i / 399.0;
        zor_vol_lut::LutEntry e;
        e.Flag = (i < 5 || i > 394) ? 0 : 1;
        e.X = 30.0 * std::cos(phi);
        e.Y = -30.0 * std::sin(phi);
        e.Angle = phi - M_PI / 2;
        e.Factor = 1.0 + i * 0.001;
        t.Entries.push_back(e);
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
    ASSERT_EQ(back.Entries.size(), t.Entries.size());
    EXPECT_EQ(back.Id, t.Id);
    for (size_t i = 0; i < t.Entries.size(); ++i) {
        EXPECT_EQ(back.Entries[i].Flag, t.Entries[i].Flag);
        EXPECT_EQ(back.Entries[i].X, t.Entries[i].X);
        EXPECT_EQ(back.Entries[i].Y, t.Entries[i].Y);
        EXPECT_EQ(back.Entries[i].Angle, t.Entries[i].Angle);
        EXPECT_EQ(back.Entries[i].Factor, t.Entries[i].Factor);
    }
    EXPECT_EQ(back.ColumnPitch, t.ColumnPitch);
    // CR LF line ends are accepted as well.
    std::string text = zor_vol_lut::FormatLut(t), crlf;
    for (char c : text) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_TRUE(zor_vol_lut::ParseLut(crlf, back));
}

TEST(CLUTProjection, DamagedFilesAreRefused) {
    zor::test::TempDir dir;
    const std::string good = zor_vol_lut::FormatLut(HalfCircle());
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    // Damage to values goes through the writer, which reproduces whatever it is given.
    auto withEntry = [](int index, auto change) {
        LutTable t = HalfCircle();
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
        {"index out of order", replace("\n7 1 ", "\n8 1 ")},
        {"garbage", replace("\n9 1 ", "\n9 1 x ")},
        {"first line", replace("ZORLUT 1", "ZORLUT 2")},
        {"nan", withEntry(7, [](auto& e) { e.X = std::nan(""); })},
        {"outside picture", withEntry(0, [](auto& e) { e.X = 90.0; })},
        // Found by fuzzing: a factor too small to be a dose.
        {"factor tiny", withEntry(7, [](auto& e) { e.Factor = 0.0000000666; })},
    };
    CLUTProjection lut;
    for (const auto& c : cases) {
        zor::test::WriteFile(dir / "P_X.LUT", c.text);
        EXPECT_NE(lut.LoadLUT(L"P", 74, Wide(dir)), 0) << c.name;
        EXPECT_EQ(lut.m_Count, 0) << c.name;
        EXPECT_EQ(lut.MapCenterToPan(30.0, 0.0), -1) << c.name;
    }
    EXPECT_EQ(lut.LoadLUT(L"missing", 74, Wide(dir)), 2);
    EXPECT_EQ(lut.LoadLUT(L"P", -1, Wide(dir)), 1);
}

TEST(CLUTProjection, MapCenterToPanReturnsTheDisplayColumnOfTheNearestCurvePoint) {
    zor::test::TempDir dir;
    ASSERT_TRUE(zor_vol_lut::WriteLutFile(dir.Slash() + "0.0.31.10_X.LUT", HalfCircle()));
    CLUTProjection lut;
    const int margin = 74;
    ASSERT_EQ(lut.LoadLUT(L"0.0.31.10", margin, Wide(dir)), 0);
    ASSERT_EQ(lut.m_Count, 400);
    for (int raw : {100, 150, 200, 333, 394}) {
        double x, y;
        ASSERT_EQ(lut.GetXY(raw, &x, &y), 0);
        // Slightly off the curve, towards the centre: still the same column.
        const int col = lut.MapCenterToPan(x * 0.98, y * 0.98);
        EXPECT_EQ(col, raw - margin);
        double bx, by, best = 1e9;
        int bestRaw = -1;
        for (int i = 0; i < lut.m_Count; ++i) {
            if (lut.GetXY(i, &bx, &by) == 0 && std::hypot(bx - x, by - y) < best) {
                best = std::hypot(bx - x, by - y);
                bestRaw = i;
            }
        }
        EXPECT_EQ(bestRaw, col + margin);
    }
    EXPECT_EQ(lut.MapCenterToPan(0.0, 0.0), -1);    // 30 mm from every curve point
    EXPECT_EQ(lut.MapCenterToPan(30.0, -0.5), -1);  // nearest column lies in the margin
    double v = 0.0;
    EXPECT_EQ(lut.GetAngle(2, &v), -1);  // unflagged
    EXPECT_EQ(lut.GetFactor(400, &v), -1);
    EXPECT_EQ(lut.GetFactor(-1, &v), -1);
    ASSERT_EQ(lut.GetFactor(200, &v), 0);
    EXPECT_NEAR(v, 1.2, 1e-6);
}
