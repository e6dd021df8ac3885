#include "phantom/DemoData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "zor_r3d/ProjectionIo.h"

namespace zor::phantom {
namespace {

constexpr int kPictureSize = 568;  // (71 + 71) × 4

void PutLe(std::vector<unsigned char>& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
    }
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr) {
        *error = text;
    }
    return false;
}

}  // namespace

std::vector<std::string> ProjectionIds(PhantomKind kind) {
    const int size = kind == PhantomKind::Adult ? 31 : 6;
    std::vector<std::string> ids;
    for (int minor : {0, 1, 2, 15}) {
        for (int version : {0, 1, 10}) {
            ids.push_back("0." + std::to_string(minor) + "." + std::to_string(size) + "." +
                          std::to_string(version));
        }
    }
    return ids;
}

zor_vol_lut::LutTable MakeLut(const DentalPhantom& phantom, const std::string& id) {
    using L = PanoramicLayout;
    zor_vol_lut::LutTable table;
    table.Id = id;
    table.ColumnPitch = L::ColumnPitch(phantom);
    table.Entries.resize(L::kRawCols);
    const double half = phantom.Curve().HalfLength();
    for (int i = 0; i < L::kRawCols; ++i) {
        const double s = L::ColumnS(phantom, i);
        zor_vol_lut::LutEntry& e = table.Entries[static_cast<size_t>(i)];
        // The outermost detector columns see the collimator edge, not the curve.
        e.Flag = (i >= 8 && i < L::kRawCols - 8) ? 1 : 0;
        phantom.Curve().PointAt(s, e.X, e.Y);
        e.Angle = phantom.Curve().AngleAt(s);
        // Projections through the molars cross more bone than the panoramic beam does there.
        e.Factor = 1.0 + 0.35 * (s / half) * (s / half);
    }
    return table;
}

std::vector<unsigned char> MakeCurvePicture(const DentalPhantom& phantom) {
    const int n = kPictureSize;
    const int rowBytes = (n + 3) / 4 * 4;
    const size_t header = 14 + 40 + 256 * 4;
    std::vector<unsigned char> b(header + static_cast<size_t>(rowBytes) * n, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe(b, 2, static_cast<uint32_t>(b.size()), 4);
    PutLe(b, 10, static_cast<uint32_t>(header), 4);
    PutLe(b, 14, 40, 4);
    PutLe(b, 18, n, 4);
    PutLe(b, 22, n, 4);
    PutLe(b, 26, 1, 2);
    PutLe(b, 28, 8, 2);
    PutLe(b, 38, 2835, 4);
    PutLe(b, 42, 2835, 4);
    PutLe(b, 46, 256, 4);
    for (int i = 0; i < 256; ++i) {
        b[54 + 4 * static_cast<size_t>(i)] = b[55 + 4 * static_cast<size_t>(i)] =
            b[56 + 4 * static_cast<size_t>(i)] = static_cast<unsigned char>(i);
    }
    // Picture row r (top first) holds device x = r/4 - 71, column c holds y = c/4 - 71.
    for (int r = 0; r < n; ++r) {
        const double x = (r + 0.5) / 4.0 - 71.0;
        unsigned char* row = b.data() + header + static_cast<size_t>(n - 1 - r) * rowBytes;
        for (int c = 0; c < n; ++c) {
            const double y = (c + 0.5) / 4.0 - 71.0;
            const ArchPoint p = phantom.Curve().Local(x, y);
            unsigned char v = 0;
            if (std::fabs(p.S) <= phantom.Curve().HalfLength()) {
                const float crown = phantom.MuLocal(p.S, p.D, 7.0);
                if (crown >= Materials::kDentine) {
                    v = 150;
                } else if (std::fabs(p.D) <= 7.0) {
                    v = 60;
                }
                if (std::fabs(p.D) <= 0.35) {
                    v = 255;
                }
            }
            row[c] = v;
        }
    }
    return b;
}

std::string PanoramicDescription(PhantomKind kind, const std::string& imageId) {
    const bool adult = kind == PhantomKind::Adult;
    return std::string("orvix=200,source=TALVERN,type=PAN,pixsize=0.096,OPT_ver=phantom-1,") +
           "Y_value=0.000000,tech_fact_kV=70,tech_fact_mA=8,tech_fact_s=12.000000," +
           "patient_orient=3,img_id=" + imageId +
           ",margin_left=74,margin_right=10,margin_top=5,margin_bottom=5," +
           (adult ? "projection=0.0.31" : "projection=0.0.6") +
           ",projection_version=10,talvern_img_rows_num=1536,raw_img_rows_num=1538," +
           "raw_img_cols_num=2693,orvix_img_rows_num=1528,orvix_img_cols_num=2609," +
           "magnifactor_H=1.2300000,magnifactor_V=1.2300000,treat=ECE 0.000;1.000;0.180;" +
           "0.8200;0.500;0.300;100.000;100.000;200.000;200.000," +
           "projection_sub_image_number=1,projection_sub_images=1";
}

bool WritePanoramicTiff(const std::string& path, const GreyImage& image,
                        const std::string& description) {
    return zor_r3d::WriteGrey16Tiff(path, image.Width, image.Height, image.Samples, description);
}

bool WritePhantomPanoramic(PhantomKind kind, const std::string& path, const std::string& imageId,
                           std::string* error) {
    const DentalPhantom phantom(kind);
    const auto grid = BuildGrid(phantom);
    if (!WritePanoramicTiff(path, RenderPanoramic(phantom, *grid),
                            PanoramicDescription(kind, imageId))) {
        return Fail(error, "cannot write " + path);
    }
    return true;
}

bool WriteLutFiles(PhantomKind kind, const std::string& folder, std::string* error) {
    const DentalPhantom phantom(kind);
    for (const std::string& id : ProjectionIds(kind)) {
        if (!zor_vol_lut::WriteLutFile(folder + id + "_X.LUT", MakeLut(phantom, id))) {
            return Fail(error, "cannot write " + folder + id + "_X.LUT");
        }
    }
    return true;
}

bool WriteCurvePicture(const std::string& path, std::string* error) {
    if (!WriteBytes(path, MakeCurvePicture(DentalPhantom(PhantomKind::Adult)))) {
        return Fail(error, "cannot write " + path);
    }
    return true;
}

bool WriteDemoData(const std::string& installDir, std::string* error) {
    namespace fs = std::filesystem;
    const fs::path root(installDir);
    const fs::path lutDir = root / "config_zor";
    const fs::path pictureDir = lutDir / "zor_manager";
    const fs::path workDir = root / "work";
    std::error_code ec;
    for (const fs::path& dir : {lutDir, pictureDir, workDir}) {
        fs::create_directories(dir, ec);
        if (!fs::is_directory(dir)) {
            return Fail(error, "cannot create folder " + dir.string());
        }
    }
    for (PhantomKind kind : {PhantomKind::Adult, PhantomKind::Child}) {
        const DentalPhantom phantom(kind);
        const bool adult = kind == PhantomKind::Adult;
        if (!WriteLutFiles(kind, (lutDir / "").string(), error) ||
            (adult && !WriteCurvePicture((pictureDir / "kestel.bmp").string(), error))) {
            return false;
        }
        const auto grid = BuildGrid(phantom);
        const GreyImage pano = RenderPanoramic(phantom, *grid);
        const std::string suffix = adult ? "" : "_child";
        const std::string templ = (workDir / ("pano_template" + suffix + ".tif")).string();
        const std::string named = (workDir / ("phantom_pano" + suffix + ".tif")).string();
        if (!WritePanoramicTiff(templ, pano, "")) {
            return Fail(error, "cannot write " + templ);
        }
        if (!WritePanoramicTiff(
                named, pano,
                PanoramicDescription(kind, adult ? "phantom-adult" : "phantom-child"))) {
            return Fail(error, "cannot write " + named);
        }
    }
    return true;
}

}  // namespace zor::phantom
