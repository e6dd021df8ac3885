#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "images/DescriptionComposer.h"
#include "images/DescriptionReader.h"
#include "images/HeaderParser.h"
#include "images/ImageConstants.h"

namespace zor::images {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(CHeaderParser, Grammar) {
    struct Case {
        std::string text;
        bool valid;
        Pairs pairs;
    };
    const std::string k300(300, 'k');
    const std::string v300(300, 'v');
    const Case cases[] = {
        {"", true, {}},
        {",,,", true, {}},
        {"a=1,b=2", true, {{"a", "1"}, {"b", "2"}}},
        {",,a=1,,b=,", true, {{"a", "1"}, {"b", ""}}},
        {"treat=ECE 0.1;0.2=x y", true, {{"treat", "ECE 0.1;0.2=x y"}}},
        {" a = 1 ", true, {{" a ", " 1 "}}},
        {"a=1,b", false, {}},
        {"a=1,=2", false, {}},
        {"=", false, {}},
        {k300 + "=" + v300, true, {{std::string(255, 'k'), std::string(255, 'v')}}},
        {"a=1,a=2", true, {{"a", "1"}, {"a", "2"}}},
    };
    for (const Case& c : cases) {
        CHeaderParser p(c.text);
        EXPECT_EQ(p.State(), 2);
        p.Parse();
        EXPECT_EQ(p.State(), c.valid ? 3 : CHeaderParser::kStateInvalid) << c.text.substr(0, 40);
        EXPECT_EQ(p.Pairs(), c.pairs) << c.text.substr(0, 40);
        EXPECT_EQ(p.Count(), static_cast<int>(c.pairs.size()));
    }
}

TEST(CHeaderParser, LookupCodes) {
    std::string value = "untouched";
    CHeaderParser unparsed("a=1");
    EXPECT_EQ(unparsed.GetValue("a", value), CHeaderParser::kNotParsed);
    CHeaderParser invalid("a=1,b");
    invalid.Parse();
    EXPECT_EQ(invalid.GetValue("a", value), CHeaderParser::kNotParsed);
    CHeaderParser p("key=first,Key=other,key=second");
    p.Parse();
    EXPECT_EQ(p.GetValue("key", value), CHeaderParser::kFound);
    EXPECT_EQ(value, "first");
    EXPECT_EQ(p.GetValue("KEY", value), CHeaderParser::kNotFound);
    EXPECT_EQ(p.GetValue("ke", value), CHeaderParser::kNotFound);
    EXPECT_EQ(value, "first");
}

TEST(TechnicsLookup, ValuesAndIntegers) {
    const std::string block = "a=text here\r\nn=42x\r\nneg=-5\r\nlast=7";
    struct Case {
        const char* key;
        bool textFound;
        const char* text;
        bool intFound;
        int integer;
    };
    const Case cases[] = {
        {"a=", true, "text here", false, 0}, {"n=", true, "42x", true, 42},
        {"neg=", true, "-5", false, 0},      {"last=", false, "", true, 7},
        {"missing=", false, "", false, 0},
    };
    for (const Case& c : cases) {
        std::string text;
        int value = 0;
        EXPECT_EQ(ReadDescriptionValue(block, c.key, text), c.textFound) << c.key;
        if (c.textFound) {
            EXPECT_EQ(text, c.text) << c.key;
        }
        EXPECT_EQ(ReadDescriptionInt(block, c.key, value), c.intFound) << c.key;
        if (c.intFound) {
            EXPECT_EQ(value, c.integer) << c.key;
        }
    }
    int big = 0;
    EXPECT_TRUE(ReadDescriptionInt("v=99999999999999999999", "v=", big));
    EXPECT_EQ(big, 2147483647);
}

PanoramicInfo ReadComma(const std::string& text, ReadStatus expected = ReadStatus::Read,
                        ImageSettings settings = {}) {
    PanoramicInfo info;
    EXPECT_EQ(ReadCommaForm(text, settings, info), expected) << text;
    return info;
}

TEST(CommaForm, ProjectionIds) {
    struct Case {
        std::string text;
        std::string id;
    };
    const Case cases[] = {
        {"Proj=0.0.31", "0.0.31.0"},
        {"Proj=0.1.31,tech_fact_s=5", "0.1.31.0"},
        {"projection=0.0.31,tech_fact_s=12", "0.0.31.1"},
        {"projection=0.0.31", "0.0.31.1"},  // no exposure time: 12000 ms
        {"projection=0.0.31,tech_fact_s=11.999", "0.0.31.10"},
        {"projection=0.0.25", ""},
        {"projection=0.2.31", ""},
        {"projection=0.0.31,projection_version=7", "0.0.31.7"},
        {"projection=0.0.6,projection_version=1", "0.0.6.1"},
        {"Proj=0.0.31,projection=0.0.6", "0.0.31.0"},
        {"orvix=200", ""},
        {"projection=0.0.31,projection_version=12345678901234567890", "0.0.31.123456789012"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadComma(c.text).ProjectionId, c.id) << c.text;
    }
}

TEST(CommaForm, DefaultsAndValues) {
    const PanoramicInfo empty = ReadComma("orvix=200");
    EXPECT_EQ(empty.m_PixelSize, 0.0);
    EXPECT_EQ(empty.m_TubeVoltage, 0);
    EXPECT_EQ(empty.m_ExposureTimeMs, 12000);
    EXPECT_EQ(empty.m_PatientOrientation, 3);
    EXPECT_EQ(empty.m_MarginLeft, 74);
    EXPECT_EQ(empty.m_MarginRight, 10);
    EXPECT_EQ(empty.m_MarginTop, 5);
    EXPECT_EQ(empty.m_MarginBottom, 5);
    EXPECT_EQ(empty.m_ImageId, "");

    const PanoramicInfo full = ReadComma(
        "orvix=200,pixsize=0.1,pixsize=0.2,Y_value=-3.5,Fact_kV=70,tech_fact_kV=66,Fact_mA=9,"
        "tech_fact_s=13.4567,patient_orient=1,margin_left=-4,margin_top=200,img_id=a=b c");
    EXPECT_DOUBLE_EQ(full.m_PixelSize, 0.1);
    EXPECT_DOUBLE_EQ(full.m_YValue, -3.5);
    EXPECT_EQ(full.m_TubeVoltage, 66);
    EXPECT_EQ(full.m_TubeCurrent, 9);
    EXPECT_EQ(full.m_ExposureTimeMs, 13456);
    EXPECT_EQ(full.m_PatientOrientation, 1);
    EXPECT_EQ(full.m_MarginLeft, -4);
    EXPECT_EQ(full.m_MarginTop, 200);
    EXPECT_EQ(full.m_ImageId, "a=b c");

    const PanoramicInfo huge = ReadComma("tech_fact_s=1e300,margin_left=99999999999");
    EXPECT_EQ(huge.m_ExposureTimeMs, 2147483647);
    EXPECT_EQ(huge.m_MarginLeft, 2147483647);
}

TEST(CommaForm, InvalidStringKeepsHeldValues) {
    PanoramicInfo info;
    info.ProjectionId = "0.0.31.1";
    info.m_MarginLeft = 50;
    EXPECT_EQ(ReadCommaForm("orvix=200,broken", {}, info), ReadStatus::NotParsed);
    EXPECT_EQ(info.ProjectionId, "0.0.31.1");
    EXPECT_EQ(info.m_MarginLeft, 50);
    EXPECT_EQ(info.NormalisedDescription.Str(), "orvix=200,broken");
}

TEST(CommaForm, MajorNumberRefusedAndCropShares) {
    ReadComma("projection=1.0.31", ReadStatus::ProjectionRefused);
    ReadComma("Proj=2,projection=0.0.31", ReadStatus::ProjectionRefused);
    ImageSettings settings;
    settings.m_PanoramicLimitPercentage = 60;
    EXPECT_EQ(ReadComma("projection=0.0.31", ReadStatus::Read, settings).CropShares.m_Left, 20);
    const PanoramicInfo minor1 = ReadComma("projection=0.1.31", ReadStatus::Read, settings);
    EXPECT_EQ(minor1.CropShares.m_Left, 0);
    EXPECT_EQ(minor1.CropShares.m_Right, 40);
    EXPECT_EQ(minor1.m_ProjectionThird, 31);
}

TEST(CommaForm, LongDescriptionKeepsWholeEntries) {
    std::string text = "orvix=200";
    while (text.size() < 1500)
        text += ",entry=" + std::string(40, 'x');
    const PanoramicInfo info = ReadComma(text);
    const std::string& kept = info.NormalisedDescription.Str();
    EXPECT_LE(kept.size(), 999u);
    EXPECT_TRUE(info.NormalisedDescription.Truncated());
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0);
    EXPECT_EQ(text[kept.size()], ',');
}

TEST(CropShares, Rules) {
    struct Case {
        int minor;
        bool limited;
        int percentage;
        int left;
        int right;
    };
    const Case cases[] = {
        {0, true, 60, 20, 20},  {15, true, 61, 19, 19},
        {1, true, 60, 0, 40},   {2, true, 60, 40, 0},
        {3, true, 60, 0, 0},    {0, false, 60, 0, 0},
        {0, true, 103, -1, -1}, {2, true, -2147483647 - 1, 2147483647, 0},
    };
    for (const Case& c : cases) {
        const CropShareSet s = ComputeCropShares(c.minor, c.limited, c.percentage);
        EXPECT_EQ(s.m_Left, c.left) << c.minor << " " << c.percentage;
        EXPECT_EQ(s.m_Right, c.right) << c.minor << " " << c.percentage;
    }
}

TEST(BandGeometry, Fractions) {
    const BandGeometry g = ComputeBandGeometry(5, 5);
    EXPECT_FLOAT_EQ(g.m_Top, 145.0f / 1528.0f);
    EXPECT_FLOAT_EQ(g.m_TopOverflow, 0.0f);
    EXPECT_FLOAT_EQ(g.m_Bottom, 0.0f);
    EXPECT_FLOAT_EQ(g.m_BottomOverflow, -5.0f / 1528.0f);
    EXPECT_FLOAT_EQ(g.m_Limit, 395.0f / 1528.0f);
    const BandGeometry high = ComputeBandGeometry(200, 5);
    EXPECT_FLOAT_EQ(high.m_Top, 0.0f);
    EXPECT_FLOAT_EQ(high.m_TopOverflow, -50.0f / 1333.0f);
    const BandGeometry zero = ComputeBandGeometry(1000, 538);
    EXPECT_EQ(zero.m_Top + zero.m_TopOverflow + zero.m_Bottom + zero.m_Limit, 0.0f);
    const BandGeometry extreme = ComputeBandGeometry(-2147483647 - 1, 2147483647);
    EXPECT_FALSE(std::isnan(extreme.m_Top + extreme.m_TopOverflow + extreme.m_Limit));
}

const std::string kEmptyTechnicsNormalised =
    "orvix=200,source=Unknown,type=Unknown,OPT_ver=Unknown,pixsize=0.096000,Y_value=0.000000,"
    "tech_fact_kV=80,tech_fact_mA=6,tech_fact_s=12.000000,patient_orient=3,projection=0.0.0,"
    "projection_version=0,img_id=,talvern_img_rows_num=1536,raw_img_rows_num=1538,"
    "raw_img_cols_num=2693,margin_left=74,margin_right=10,margin_top=5,margin_bottom=5,"
    "orvix_img_rows_num=1528,orvix_img_cols_num=2609,magnifactor_H=1.230000,"
    "magnifactor_V=1.230000" +
    std::string(kTechnicsTail);

std::string Xmp(const std::string& block) {
    return "<x:xmpmeta><Technics type=\"string\">" + block + "</Technics></x:xmpmeta>";
}

TEST(TechnicsForm, EmptyBlockGivesDefaultsText) {
    PanoramicInfo info;
    ASSERT_EQ(ReadTechnicsForm(Xmp(""), {}, info), ReadStatus::Read);
    EXPECT_EQ(info.NormalisedDescription.Str(), kEmptyTechnicsNormalised);
    EXPECT_EQ(info.ProjectionId, "");
}

TEST(TechnicsForm, NormalisedUnderGermanLocale) {
    const char* old = std::setlocale(LC_ALL, "de_DE.UTF-8");
    PanoramicInfo info;
    ASSERT_EQ(ReadTechnicsForm(Xmp("pixsize=0,5\r\n"), {}, info), ReadStatus::Read);
    std::setlocale(LC_ALL, "C");
    (void)old;
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
    ImageSettings settings;
    ASSERT_EQ(ReadTechnicsForm(Xmp(block), settings, info), ReadStatus::Read);
    EXPECT_EQ(info.m_TubeVoltage, 70);
    EXPECT_EQ(info.m_TubeCurrent, 8);
    EXPECT_EQ(info.m_ExposureTimeMs, 14200);
    EXPECT_EQ(info.m_MarginLeft, 74);  // a sign makes it absent
    EXPECT_EQ(info.ProjectionId, "0.2.6.4");
    EXPECT_EQ(info.CropShares.m_Left, 40);
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

TEST(TechnicsForm, Failures) {
    struct Case {
        std::string xmp;
        ReadStatus status;
    };
    const Case cases[] = {
        {"no markers", ReadStatus::Failed},
        {"<Technics type=\"string\">open only", ReadStatus::Failed},
        {"</Technics><Technics type=\"string\">", ReadStatus::Failed},
        {Xmp("projection=1.0.31\r\n"), ReadStatus::ProjectionRefused},
        {Xmp("projection=0.\r\n"), ReadStatus::Failed},
        {Xmp("projection=0.0.\r\n"), ReadStatus::Failed},
        {Xmp("projection=0.0.31\r\n"), ReadStatus::Read},
    };
    for (const Case& c : cases) {
        PanoramicInfo info;
        EXPECT_EQ(ReadTechnicsForm(c.xmp, {}, info), c.status) << c.xmp;
    }
}

TEST(TechnicsForm, MissingProjectionKeepsHeldNumbers) {
    PanoramicInfo info;
    info.m_ProjectionMinor = 1;
    info.m_ProjectionThird = 6;
    ASSERT_EQ(ReadTechnicsForm(Xmp("projection_version=3\r\n"), {}, info), ReadStatus::Read);
    EXPECT_EQ(info.ProjectionId, "0.1.6.3");
}

TEST(Treatments, ReadBack) {
    struct Case {
        std::string description;
        std::vector<std::string> filters;
    };
    const Case cases[] = {
        {"treat=linear 1;2,orvix=200,TREAT=gamma 1.1,filter=x,treat=ECE 0.000;1.000",
         {"gamma 1.1", "ECE 0.000,1.000"}},
        {"treat=linear 1;2", {}},
        {"ORVIX,treat=a;b,treat,treat=", {"a,b", ""}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadTreatments(c.description), c.filters) << c.description;
    EXPECT_EQ(ReadTreatments(kEmptyTechnicsNormalised),
              std::vector<std::string>{
                  "ECE 0.000,1.000,0.180,0.8200,0.500,0.300,100.000,100.000,200.000,200.000"});
}

TEST(Treatments, AppendAndRoundTrip) {
    DescriptionText text;
    text.Append("orvix=333");
    AppendTreatments(
        text, {"linear 0.500000,1.200000", "@talvern-sharpen orvix=333,treat=unsharp 1.6000;14.000",
               "gamma 1.1", "@bare"});
    EXPECT_EQ(text.Str(),
              "orvix=333,treat=linear 0.500000;1.200000,treat=unsharp 1.6000;14.000,"
              "treat=gamma 1.1,");
    EXPECT_EQ(ReadTreatments(text.Str()),
              (std::vector<std::string>{"linear 0.500000,1.200000", "unsharp 1.6000,14.000",
                                        "gamma 1.1"}));
}

TEST(DescriptionText, NeverPastItsBuffer) {
    DescriptionText text;
    text.Append(std::string(990, 'a'));
    text.Append(",b=123456789");  // 12 characters do not fit
    text.Append(",c=1");          // dropped too: order is kept
    EXPECT_EQ(text.Size(), 990u);
    EXPECT_TRUE(text.Truncated());
    std::vector<std::string> many(200, std::string(300, 'f'));
    DescriptionText slice;
    slice.Append("orvix=333");
    AppendTreatments(slice, many);
    EXPECT_LE(slice.Size(), DescriptionText::kCapacity - 1);
    DescriptionText clip;
    clip.AssignClipped(std::string(5000, 'z'));  // no separator at all: nothing whole fits
    EXPECT_EQ(clip.Size(), 0u);
}

TEST(TemplateDescription, Composition) {
    TemplateAcquisition acquisition;
    acquisition.m_YValue = -2;
    acquisition.m_TubeVoltage = 70;
    acquisition.m_TubeCurrent = 8;
    acquisition.m_ExposureTimeMs = 14500;
    acquisition.m_PatientOrientation = 1;
    acquisition.m_ProjectionNumber = 6;
    PanoramicInfo info;
    BuildTemplateDescription(acquisition, "2026-12-06_02-10-05", {}, info);
    EXPECT_EQ(info.ProjectionId, "0.0.6.10");
    EXPECT_EQ(info.m_ProjectionThird, 31);
    EXPECT_EQ(info.CropShares.m_Left, 20);
    EXPECT_EQ(info.NormalisedDescription.Str(),
              std::string(kTemplateDescription) +
                  ",pixsize=0.096000,Y_value=-2.000000,tech_fact_kV=70,tech_fact_mA=8,"
                  "tech_fact_s=14.500000,patient_orient=1,margin_left=74,projection=0.0.6,"
                  "projection_version=10,img_id=2026-12-06_02-10-05");
    CHeaderParser p(info.NormalisedDescription.Str());
    p.Parse();
    std::string v;
    ASSERT_EQ(p.GetValue("projection", v), 1);
    EXPECT_EQ(v, "0.0.31");  // the template's own value comes first
}

TEST(SliceDescription, Composition) {
    SliceDescriptionInput s;
    s.m_PanoramicImageId = "P1";
    s.m_VolumeImageId = "V1";
    s.m_SlicePanoramicColumn = 1234;
    s.m_ProjectionId = "0.0.31.1";
    for (int i = 0; i < 8; ++i)
        s.m_VolumeCorners[i] = i + 0.5;
    s.m_SliceCentre[0] = 1.0;
    s.m_SliceRotation[2] = -0.25;
    s.m_TubeVoltage = 70;
    s.m_TubeCurrent = 8;
    s.m_ExposureTimeMs = 14567;
    s.m_YValue = -3.9;
    s.m_PanoramicMarginLeft = 74;
    s.m_CollimatorA = 0.1f;
    s.m_CollimatorB = 0.2f;
    s.m_DoseBase = 100.0f;
    s.m_YAxisMovable = true;
    s.m_SliceIndex = 7;
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
