#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <optional>
#include <sstream>
#include <tuple>

#include "images/DescriptionComposer.h"
#include "images/DescriptionReader.h"
#include "images/HeaderParser.h"
#include "images/ImageConstants.h"

namespace zor::images {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(CHeaderParser, Grammar) {
    const std::string k300(300, 'k'), v300(300, 'v');
    const std::tuple<std::string, bool, Pairs> cases[] = {
        {"", true, {}},
        {",,,", true, {}},
        {"a=1,b", false, {}},
        {"a=1,=2", false, {}},
        {"=", false, {}},
        {"a=1,b=2", true, {{"a", "1"}, {"b", "2"}}},
        {",,a=1,,b=,", true, {{"a", "1"}, {"b", ""}}},
        {"treat=ECE 0.1;0.2=x y", true, {{"treat", "ECE 0.1;0.2=x y"}}},
        {" a = 1 ", true, {{" a ", " 1 "}}},
        {k300 + "=" + v300, true, {{std::string(255, 'k'), std::string(255, 'v')}}},
        {"a=1,a=2", true, {{"a", "1"}, {"a", "2"}}}};
    for (const auto& [text, valid, pairs] : cases) {
        CHeaderParser p(text);
        p.Parse();
        EXPECT_EQ(p.State(), valid ? 3 : CHeaderParser::kStateInvalid) << text.substr(0, 40);
        EXPECT_EQ(p.Pairs(), pairs) << text.substr(0, 40);
    }
}

TEST(TechnicsLookup, ValuesAndIntegers) {
    const std::string block =
        "a=text here\r\nn=42x\r\nneg=-5\r\nbig=99999999999999999999\r\nlast=7";
    const std::tuple<const char*, std::optional<std::string>, std::optional<int>> cases[] = {
        {"a=", "text here", {}}, {"n=", "42x", 42},
        {"neg=", "-5", {}},      {"big=", "99999999999999999999", 2147483647},
        {"last=", {}, 7},        {"missing=", {}, {}}};
    for (const auto& [key, text, integer] : cases) {
        std::string t;
        int v = 0;
        const bool textFound = ReadDescriptionValue(block, key, t);
        EXPECT_EQ(textFound ? std::optional(t) : std::nullopt, text) << key;
        const bool intFound = ReadDescriptionInt(block, key, v);
        EXPECT_EQ(intFound ? std::optional(v) : std::nullopt, integer) << key;
    }
}

std::string Xmp(const std::string& block) {
    return "<x:xmpmeta><Technics type=\"string\">" + block + "</Technics></x:xmpmeta>";
}

// Each "name=value" word of `expected` is one of the fields the reader filled.
void ExpectFields(const PanoramicInfo& i, const std::string& expected, const std::string& what) {
    std::ostringstream s;
    s << " id=" << i.ProjectionId << " px=" << i.m_PixelSize << " y=" << i.m_YValue
      << " kV=" << i.m_TubeVoltage << " mA=" << i.m_TubeCurrent << " ms=" << i.m_ExposureTimeMs
      << " orient=" << i.m_PatientOrientation << " img=" << i.m_ImageId
      << " third=" << i.m_ProjectionThird << " margins=" << i.m_MarginLeft << "," << i.m_MarginRight
      << "," << i.m_MarginTop << "," << i.m_MarginBottom << " crop=" << i.CropShares.m_Left << ","
      << i.CropShares.m_Right << " ";
    std::istringstream in(expected);
    for (std::string word; in >> word;)
        EXPECT_NE(s.str().find(" " + word + " "), std::string::npos) << what << ":" << s.str();
}

TEST(CommaForm, Fields) {
    struct Case {
        std::string text, fields;
        ReadStatus status = ReadStatus::Read;
    };
    const Case cases[] = {
        {"Proj=0.0.31", "id=0.0.31.0"},
        {"Proj=0.1.31,tech_fact_s=5", "id=0.1.31.0 ms=5000"},
        {"projection=0.0.31,tech_fact_s=12", "id=0.0.31.1 crop=20,20"},
        {"projection=0.0.31", "id=0.0.31.1"},  // no exposure time: 12000 ms
        {"projection=0.0.31,tech_fact_s=11.999", "id=0.0.31.10"},
        {"projection=0.1.31", "crop=0,40 third=31"},
        {"projection=0.0.25", "id="},
        {"projection=0.2.31", "id="},
        {"projection=0.0.31,projection_version=7", "id=0.0.31.7"},
        {"projection=0.0.6,projection_version=1", "id=0.0.6.1"},
        {"Proj=0.0.31,projection=0.0.6", "id=0.0.31.0"},
        {"projection=0.0.31,projection_version=12345678901234567890", "id=0.0.31.123456789012"},
        {"orvix=200", "id= px=0 kV=0 ms=12000 orient=3 margins=74,10,5,5 img="},
        {"orvix=200,pixsize=0.1,pixsize=0.2,Y_value=-3.5,Fact_kV=70,tech_fact_kV=66,Fact_mA=9,"
         "tech_fact_s=13.4567,patient_orient=1,margin_left=-4,margin_top=200,img_id=a=b",
         "px=0.1 y=-3.5 kV=66 mA=9 ms=13456 orient=1 margins=-4,10,200,5 img=a=b"},
        {"tech_fact_s=1e300,margin_left=99999999999", "ms=2147483647 margins=2147483647,10,5,5"},
        {"projection=1.0.31", "", ReadStatus::ProjectionRefused},
        {"Proj=2,projection=0.0.31", "", ReadStatus::ProjectionRefused},
    };
    for (const Case& c : cases) {
        PanoramicInfo info;
        EXPECT_EQ(ReadCommaForm(c.text, {}, info), c.status) << c.text;
        ExpectFields(info, c.fields, c.text);
    }
    // An invalid comma form, and a Technics block without a projection, keep the values held.
    PanoramicInfo info;
    info.ProjectionId = "0.0.31.1", info.m_MarginLeft = 50;
    EXPECT_EQ(ReadCommaForm("orvix=200,broken", {}, info), ReadStatus::NotParsed);
    ExpectFields(info, "id=0.0.31.1 margins=50,10,5,5", "held");
    EXPECT_EQ(info.NormalisedDescription.Str(), "orvix=200,broken");
    info.m_ProjectionMinor = 1;
    info.m_ProjectionThird = 6;
    ASSERT_EQ(ReadTechnicsForm(Xmp("projection_version=3\r\n"), {}, info), ReadStatus::Read);
    EXPECT_EQ(info.ProjectionId, "0.1.6.3");
}

TEST(DescriptionText, TruncationKeepsWholeEntriesNeverPastTheBuffer) {
    std::string text = "orvix=200";
    while (text.size() < 1500)
        text += ",entry=" + std::string(40, 'x');
    PanoramicInfo info;
    ASSERT_EQ(ReadCommaForm(text, {}, info), ReadStatus::Read);
    const std::string& kept = info.NormalisedDescription.Str();
    EXPECT_LE(kept.size(), 999u);
    EXPECT_TRUE(info.NormalisedDescription.Truncated());
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0);
    EXPECT_EQ(text[kept.size()], ',');
    DescriptionText appended;
    appended.Append(std::string(990, 'a'));
    appended.Append(",b=123456789");  // 12 characters do not fit
    appended.Append(",c=1");          // dropped too: order is kept
    EXPECT_EQ(appended.Size(), 990u);
    EXPECT_TRUE(appended.Truncated());
    DescriptionText clip;
    clip.AssignClipped(std::string(5000, 'z'));  // no separator at all: nothing whole fits
    EXPECT_EQ(clip.Size(), 0u);
}

TEST(Geometry, CropSharesAndBandEdgeCases) {
    const int cases[][5] = {// minor, limited, percentage, left, right
                            {0, 1, 60, 20, 20},  {15, 1, 61, 19, 19},        {1, 1, 60, 0, 40},
                            {2, 1, 60, 40, 0},   {3, 1, 60, 0, 0},           {0, 0, 60, 0, 0},
                            {0, 1, 103, -1, -1}, {2, 1, INT_MIN, INT_MAX, 0}};
    for (const auto& c : cases) {
        const CropShareSet s = ComputeCropShares(c[0], c[1] != 0, c[2]);
        EXPECT_EQ(std::pair(s.m_Left, s.m_Right), std::pair(c[3], c[4])) << c[0] << " " << c[2];
    }
    // A top margin past the band overflows; no rows or extreme margins give no NaN.
    const BandGeometry high = ComputeBandGeometry(200, 5);
    EXPECT_EQ(high.m_Top, 0.0f);
    EXPECT_LT(high.m_TopOverflow, 0.0f);
    const BandGeometry zero = ComputeBandGeometry(1000, 538);
    EXPECT_EQ(zero.m_Top + zero.m_TopOverflow + zero.m_Bottom + zero.m_Limit, 0.0f);
    const BandGeometry extreme = ComputeBandGeometry(-2147483647 - 1, 2147483647);
    EXPECT_FALSE(std::isnan(extreme.m_Top + extreme.m_TopOverflow + extreme.m_Limit));
}

TEST(TechnicsForm, StatusesAndLocale) {
    const std::pair<std::string, ReadStatus> cases[] = {
        {"no markers", ReadStatus::Failed},
        {"<Technics type=\"string\">open only", ReadStatus::Failed},
        {"</Technics><Technics type=\"string\">", ReadStatus::Failed},
        {Xmp("projection=1.0.31\r\n"), ReadStatus::ProjectionRefused},
        {Xmp("projection=0.\r\n"), ReadStatus::Failed},
        {Xmp("projection=0.0.\r\n"), ReadStatus::Failed},
        {Xmp(""), ReadStatus::Read},  // an empty block is read, without a projection
    };
    for (const auto& [xmp, status] : cases) {
        PanoramicInfo info;
        EXPECT_EQ(ReadTechnicsForm(xmp, {}, info), status) << xmp;
    }
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // the normalised text stays in the C locale
    PanoramicInfo info;
    ASSERT_EQ(ReadTechnicsForm(Xmp("pixsize=0,5\r\n"), {}, info), ReadStatus::Read);
    std::setlocale(LC_ALL, "C");
    EXPECT_NE(info.NormalisedDescription.Str().find(",pixsize=0.000000,"), std::string::npos);
}

TEST(TechnicsForm, BlockValues) {
    const std::string block =
        "orvix=201\r\nsource=TALVERN\r\ntype=PAN\r\nOPT_ver=3.2\r\npixsize=0.1\r\nY_value=2.5\r\n"
        "tech_fact_kV=60\r\nFact_kV=70\r\nFact_mA=8\r\ntech_fact_s=14.2\r\npatient_orient=2\r\n"
        "img_id=2026-01-02_03-04-05\r\nmargin_left=-3\r\nmargin_right=11\r\nmargin_top=6\r\n"
        "margin_bottom=7\r\nprojection=0.1.31\r\nProj=0.2.6\r\nprojection_version=4\r\n"
        "raw_img_rows_num=1600\r\nmagnifactor_H=1.25\r\nmagnifactor_V=1.3";
    PanoramicInfo info;
    ASSERT_EQ(ReadTechnicsForm(Xmp(block), {}, info), ReadStatus::Read);
    // A sign makes a margin absent.
    ExpectFields(info, "kV=70 mA=8 ms=14200 margins=74,11,6,7 id=0.2.6.4 crop=40,0", block);
    EXPECT_EQ(info.NormalisedDescription.Str(),
              "orvix=201,source=TALVERN,type=PAN,OPT_ver=3.2,pixsize=0.100000,Y_value=2.500000,"
              "tech_fact_kV=70,tech_fact_mA=8,tech_fact_s=14.200000,patient_orient=2,"
              "projection=0.2.6,projection_version=4,img_id=2026-01-02_03-04-05,"
              "talvern_img_rows_num=1536,raw_img_rows_num=1600,raw_img_cols_num=2693,"
              "margin_left=74,margin_right=11,margin_top=6,margin_bottom=7,"
              "orvix_img_rows_num=1528,orvix_img_cols_num=2609,magnifactor_H=1.2500000,"
              "magnifactor_V=1.230000" +
                  std::string(kTechnicsTail));
}

TEST(Treatments, ReadBackAndAppend) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"treat=linear 1;2,orvix=200,TREAT=gamma 1.1,filter=x,treat=ECE 0.000;1.000",
         {"gamma 1.1", "ECE 0.000,1.000"}},
        {"treat=linear 1;2", {}},
        {"ORVIX,treat=a;b,treat,treat=", {"a,b", ""}},
        {"", {}}};
    for (const auto& [description, filters] : cases)
        EXPECT_EQ(ReadTreatments(description), filters) << description;
    DescriptionText text;
    text.Append("orvix=333");
    AppendTreatments(
        text, {"linear 0.500000,1.200000", "@talvern-sharpen orvix=333,treat=unsharp 1.6000;14.000",
               "gamma 1.1", "@bare"});
    EXPECT_EQ(text.Str(),
              "orvix=333,treat=linear 0.500000;1.200000,treat=unsharp 1.6000;14.000,"
              "treat=gamma 1.1,");
}

TEST(TemplateDescription, Composition) {
    PanoramicInfo info;
    // Y, kV, mA, ms, orientation, projection number.
    BuildTemplateDescription({-2, 70, 8, 14500, 1, 6}, "2026-12-06_02-10-05", {}, info);
    ExpectFields(info, "id=0.0.6.10 third=31 crop=20,20", "template");
    EXPECT_EQ(info.NormalisedDescription.Str(),
              std::string(kTemplateDescription) +
                  ",pixsize=0.096000,Y_value=-2.000000,tech_fact_kV=70,tech_fact_mA=8,"
                  "tech_fact_s=14.500000,patient_orient=1,margin_left=74,projection=0.0.6,"
                  "projection_version=10,img_id=2026-12-06_02-10-05");
    CHeaderParser p(info.NormalisedDescription.Str());
    p.Parse();
    std::string v;
    EXPECT_TRUE(p.GetValue("projection", v) == 1 && v == "0.0.31") << v;  // its own value first
}

TEST(SliceDescription, Composition) {
    SliceDescriptionInput s{.m_VolumeCorners = {0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5},
                            .m_SliceCentre = {1.0},
                            .m_SliceRotation = {0.0, 0.0, -0.25}};
    s.m_PanoramicImageId = "P1", s.m_VolumeImageId = "V1", s.m_ProjectionId = "0.0.31.1";
    s.m_SlicePanoramicColumn = 1234, s.m_PanoramicMarginLeft = 74, s.m_SliceIndex = 7;
    s.m_TubeVoltage = 70, s.m_TubeCurrent = 8, s.m_ExposureTimeMs = 14567, s.m_YValue = -3.9;
    s.m_CollimatorA = 0.1f, s.m_CollimatorB = 0.2f, s.m_DoseBase = 100.0f, s.m_YAxisMovable = true;
    const std::string text = BuildSliceDescription(s).Str();
    EXPECT_EQ(text.rfind("orvix=333,source=TALVERN,type=ZOR,pixsize=0.150000,img_id_pan=P1,"
                         "img_id=V1,slice_pancol=1234,LUT=0.0.31.1,VOL_TOP_LEFTX=0.500000,",
                         0),
              0u);
    for (const char* piece :
         {",VOL_BOTTOM_RIGHTY=7.500000,VOL_dimX=0.000000,VOL_dimY=0.000000,VOL_dimZ=0.000000,"
          "SLICE_POSX=1.000000,SLICE_POSY=0.000000,SLICE_ROT1=0.000000,SLICE_ROT2=0.000000,"
          "SLICE_ROTY=-0.250000,SLICE_TOP_LEFTX=0.000000,",
          ",magnifactor_H=1.000000,magnifactor_V=1.000000,num_images=11,tech_fact_kV=70,"
          "tech_fact_mA=8,tech_fact_s=14.57,Y_value=-3,margin_left_pan=74,DAP=63.17,"
          "3DTS_slice_index=7,3DTS_slice_count=50"}) {
        EXPECT_NE(text.find(piece), std::string::npos) << piece;
    }
    EXPECT_EQ(text.substr(text.size() - 19), "3DTS_slice_count=50");
}

}  // namespace
}  // namespace zor::images
