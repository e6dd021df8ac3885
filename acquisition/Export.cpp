#include "acquisition/Export.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <tuple>

#include "acquisition/Workflow.h"
#include "images/DescriptionComposer.h"
#include "images/PanoramicInfo.h"
#include "images/PanoramicLoader.h"
#include "images/PanoramicView.h"
#include "images/TiffWriter.h"
#include "platform/LocalTime.h"
#include "platform/Registry.h"
#include "platform/TextConvert.h"
#include "zor_vol/CLUTProjection.h"
#include "zor_vol/VolumeClass.h"

namespace zor::acquisition {

namespace fs = std::filesystem;

namespace {

constexpr const char* kOutFolderKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VORDAL\\Orvix\\Talvern";
constexpr const char* kOutFolderValue = "OutFolderPath";
constexpr size_t kMaxOutFolderBytes = 520;  ///< as UTF-16 with its terminator
constexpr size_t kMaxFolderText = 255;      ///< 8-bit bytes

constexpr const char* kPanoramicExportedTag = "_[The panoramic is being exported]_";
constexpr const char* kSlicesExportedTag = "_[The panoramic and the slices are being exported]_";
constexpr const char* kAlreadyExportedTag = "_[The panoramic has alreay been exported before]_";
constexpr int kMessageMs = 5000;
constexpr std::chrono::milliseconds kAfterExportWait{2000};

constexpr int kSliceCount = viewer::kCrossPositions;
constexpr int kCentreIndex = 24;  ///< |i − 24| sets the side blanking
constexpr int kStripShift = 6;
constexpr int kMarkerHalfWidth = 2;
constexpr int kMarkerInset = 3;
constexpr uint16_t kMarkerValue = 0xFFFF;
constexpr double kNoAngleLimit = 90.0;  // degrees

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

double AngleLimit(const viewer::CrossSettings& settings) {
    return settings.IsCrossAngleLimited ? static_cast<double>(settings.CrossAngleLimit)
                                        : kNoAngleLimit;
}

/// The position lies in the volume and its cross turns no further from the reference than the
/// limit allows (degrees with the device's 3.14).
bool Exportable(const SliceSource& source, int index) {
    if (source.Volume == nullptr || source.Volume->mIsNull() || index >= source.Volume->m_DimX)
        return false;
    const double turn = viewer::CurveDegrees(source.Angles[static_cast<size_t>(index)]) -
                        viewer::CurveDegrees(source.ReferenceAngle);
    return std::abs(turn) <= AngleLimit(source.Crosses);
}

images::SliceDescriptionInput DescribeSlice(const SliceSource& source, const SliceInfo& slice,
                                            int index) {
    images::SliceDescriptionInput in;
    const images::PanoramicInfo fallback;
    const images::PanoramicInfo& info = source.Info != nullptr ? *source.Info : fallback;
    in.m_PanoramicImageId = info.m_ImageId;
    in.m_VolumeImageId = source.VolumeImageId;
    in.m_SlicePanoramicColumn =
        source.Lut != nullptr ? source.Lut->MapCenterToPan(slice.CenterX, slice.CenterY) : -1;
    in.m_ProjectionId = info.ProjectionId;
    const double volume[8] = {slice.VolTopLeftX,     slice.VolTopLeftY,    slice.VolTopRightX,
                              slice.VolTopRightY,    slice.VolBottomLeftX, slice.VolBottomLeftY,
                              slice.VolBottomRightX, slice.VolBottomRightY};
    const double plane[8] = {slice.SliceTopLeftX,     slice.SliceTopLeftY,
                             slice.SliceTopRightX,    slice.SliceTopRightY,
                             slice.SliceBottomLeftX,  slice.SliceBottomLeftY,
                             slice.SliceBottomRightX, slice.SliceBottomRightY};
    std::copy(std::begin(volume), std::end(volume), in.m_VolumeCorners);
    std::copy(std::begin(plane), std::end(plane), in.m_SliceCorners);
    in.m_SliceCentre[0] = slice.CenterX;
    in.m_SliceCentre[1] = slice.CenterY;
    in.m_SliceRotation[0] = slice.Rot1;
    in.m_SliceRotation[1] = slice.Rot2;
    in.m_SliceRotation[2] = slice.RotY;
    // The volume was acquired with the projections' technique; without their record the
    // panoramic's is the best known.
    const AcquisitionRecord& record = source.Record;
    const bool recorded = record.Kv > 0;
    in.m_TubeVoltage = recorded ? record.Kv : info.m_TubeVoltage;
    in.m_TubeCurrent = recorded ? record.Ma : info.m_TubeCurrent;
    in.m_ExposureTimeMs = recorded ? record.ExposureTimeMs : info.m_ExposureTimeMs;
    in.m_YValue = recorded ? record.YValue : info.m_YValue;
    in.m_PanoramicMarginLeft = info.m_MarginLeft;
    in.m_CollimatorA = source.CollimatorA;
    in.m_CollimatorB = source.CollimatorB;
    in.m_DoseBase = record.Dap;
    in.m_YAxisMovable = source.YAxisMovable;
    in.m_SliceIndex = index;
    in.m_SliceCount = kSliceCount;
    return in;
}

/// The strip's marker column for position `index`: the LUT's panoramic column of the slice
/// centre at index ÷ 50, scaled to the strip; −1 without one.
int MarkerColumn(const SliceSource& source, int index, const StripBitmap& strip) {
    if (source.Lut == nullptr || source.Panoramic == nullptr)
        return -1;
    SliceInfo centre;
    source.Volume->SliceInfo_Extract(index / static_cast<double>(kSliceCount), 0.0, &centre);
    return StripMarkerColumn(source.Lut->MapCenterToPan(centre.CenterX, centre.CenterY),
                             strip.Width, source.Panoramic->m_Full.m_Width);
}

bool IsFolder(const std::string& folder, std::string& why) {
    std::error_code error;
    const fs::file_status status = fs::status(folder.empty() ? "/" : folder, error);
    if (fs::is_directory(status))
        return true;
    why = "the output folder \"" + folder + "\" " +
          (fs::exists(status) ? "is not a folder" : "does not exist");
    return false;
}

}  // namespace

std::string ReadOutFolderPath(const fs::path& registryFile) {
    const auto key = platform::RegistryKey::Open(kOutFolderKey, false, registryFile);
    if (!key)
        return HomeFolder();
    const auto value = key->Query(kOutFolderValue);
    if (!value || (value->type != static_cast<uint32_t>(platform::RegType::Sz) &&
                   value->type != static_cast<uint32_t>(platform::RegType::ExpandSz))) {
        return HomeFolder();
    }
    if ((platform::Utf8ToWide(value->text).size() + 1) * 2 > kMaxOutFolderBytes)
        return HomeFolder();
    return value->text;
}

std::string PanoramicFileName(const std::string& folder, const std::string& stamp) {
    return folder + "/Panoramic_" + stamp + ".tif";
}

std::string SliceFileName(const std::string& folder, int index, const std::string& stamp) {
    return folder + "/Slice_" + std::to_string(index) + "_" + stamp + ".tif";
}

StripBitmap BuildPanoramicStrip(const images::GreyImage16& panoramic, int marginTop,
                                int marginBottom, int width) {
    StripBitmap strip;
    const int sourceWidth = panoramic.m_Width;
    int top = std::max(0, marginTop);
    int bottom = panoramic.m_Height - std::max(0, marginBottom);
    if (bottom - top < 1) {
        top = 0;
        bottom = panoramic.m_Height;
    }
    const int band = bottom - top;
    if (width < 1 || sourceWidth < 1 || band < 1 ||
        panoramic.m_Samples.size() <
            static_cast<size_t>(sourceWidth) * static_cast<size_t>(panoramic.m_Height)) {
        return strip;
    }
    strip.Width = width;
    strip.Height = std::max<int>(
        1,
        static_cast<int>((static_cast<long long>(band) * width + sourceWidth / 2) / sourceWidth));
    strip.Samples.resize(static_cast<size_t>(strip.Width) * static_cast<size_t>(strip.Height));
    const int shift = std::clamp(panoramic.m_Bits, 8, 16) - 8;

    // Each strip pixel averages the block of panoramic pixels it covers (at least one).
    std::vector<int> firstColumn(static_cast<size_t>(width) + 1);
    for (int x = 0; x <= width; ++x)
        firstColumn[static_cast<size_t>(x)] =
            static_cast<int>(static_cast<long long>(x) * sourceWidth / width);
    for (int y = 0; y < strip.Height; ++y) {
        const int y0 = top + static_cast<int>(static_cast<long long>(y) * band / strip.Height);
        const int y1 = std::max(
            y0 + 1, top + static_cast<int>(static_cast<long long>(y + 1) * band / strip.Height));
        for (int x = 0; x < width; ++x) {
            const int x0 = std::min(firstColumn[static_cast<size_t>(x)], sourceWidth - 1);
            const int x1 = std::max(x0 + 1, firstColumn[static_cast<size_t>(x) + 1]);
            uint64_t sum = 0;
            for (int sy = y0; sy < y1; ++sy) {
                const uint16_t* row =
                    panoramic.m_Samples.data() + static_cast<size_t>(sy) * sourceWidth;
                for (int sx = x0; sx < x1; ++sx)
                    sum += row[sx];
            }
            const uint64_t mean = sum / (static_cast<uint64_t>(y1 - y0) * (x1 - x0));
            strip.Samples[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>(std::min<uint64_t>(255, mean >> shift));
        }
    }
    return strip;
}

void CropExportedSlice(uint16_t* samples, int rows, int columns, int index,
                       const viewer::CrossSettings& settings, float a, float b) {
    if (!settings.IsCrossCropped || rows < 1 || columns < 1)
        return;
    const double minimum = settings.LeftRightCrossColumnCroppedMinimum;
    const double maximum = settings.LeftRightCrossColumnCroppedMaximum;
    // The export counts from the position index in double precision, the viewer from the
    // position in single precision; the blanking is the same.
    const int m =
        static_cast<int>(minimum + (maximum - minimum) * std::abs(index - kCentreIndex) / 25.0);
    viewer::BlankCrossMargins(samples, rows, columns, m, a, b);
}

bool WriteTiffReplacing(const std::string& path, int bits, int height, int width,
                        const void* samples, const std::string& description, std::string& why) {
    // A hidden name that no reader of "*.tif" picks up; unique per process and call.
    static std::atomic<unsigned> counter{0};
    const fs::path final(path);
    const fs::path temporary =
        final.parent_path() / ("." + final.filename().string() + ".tmp" +
                               std::to_string(::getpid()) + "-" + std::to_string(++counter));
    errno = 0;
    const int result = images::WriteTiff(temporary.string(), bits, height, width, samples,
                                         description.c_str(), description.size() + 1);
    if (result != images::kTiffWritten) {
        const int error = errno;
        why = result == images::kTiffBadArguments
                  ? "the image does not fit a TIFF of this kind"
                  : std::string(error != 0 ? std::strerror(error) : "cannot be written");
        return false;
    }
    if (::rename(temporary.c_str(), final.c_str()) != 0) {
        why = std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

int StripMarkerColumn(int column, int stripWidth, int panoramicWidth) {
    if (column < 0 || panoramicWidth < 1)
        return -1;
    return static_cast<int>(static_cast<long long>(column) * stripWidth / panoramicWidth);
}

bool WriteSliceWithStrip(const std::string& path, images::DescriptionText description,
                         std::vector<uint16_t>& image, int rows, int columns,
                         const StripBitmap& strip, int markerColumn, std::string& why) {
    const int height = strip.Height;
    const size_t crossSamples = static_cast<size_t>(rows) * static_cast<size_t>(columns);
    image.resize(crossSamples + static_cast<size_t>(height) * static_cast<size_t>(columns));
    uint16_t* stripRows = image.data() + crossSamples;
    std::fill(stripRows, image.data() + image.size(), uint16_t{0});
    const int left = (columns - strip.Width) / 2;
    const int shown = std::min(strip.Width, columns);
    for (int r = 0; r < height; ++r) {
        const uint8_t* from = strip.Samples.data() + static_cast<size_t>(r) * strip.Width;
        uint16_t* to = stripRows + static_cast<size_t>(r) * columns + std::max(left, 0);
        for (int x = 0; x < shown; ++x)
            to[x] = static_cast<uint16_t>(from[x] << kStripShift);
    }
    if (markerColumn >= 0) {
        auto set = [&](int row, int column) {
            column += left;
            if (row >= 0 && row < height && column >= 0 && column < columns)
                stripRows[static_cast<size_t>(row) * columns + column] = kMarkerValue;
        };
        const int lowRow = kMarkerInset;
        const int highRow = height - 1 - kMarkerInset;
        for (int r = lowRow; r <= highRow; ++r) {
            set(r, markerColumn - kMarkerHalfWidth);
            set(r, markerColumn + kMarkerHalfWidth);
        }
        for (int c = markerColumn - kMarkerHalfWidth; c <= markerColumn + kMarkerHalfWidth; ++c) {
            set(lowRow, c);
            set(highRow, c);
        }
    }
    description.Append(",PANO_HEIGHT=" + images::FormatInt(height));
    return WriteTiffReplacing(path, 16, rows + height, columns, image.data(), description.Str(),
                              why);
}

bool WriteSliceTiff(const std::string& path, images::DescriptionText description, int index,
                    const SliceSource& source, std::vector<uint16_t>& image, int rows, int columns,
                    const StripBitmap& strip, std::string& why) {
    CropExportedSlice(image.data(), rows, columns, index, source.Crosses, source.CollimatorA,
                      source.CollimatorB);
    images::AppendTreatments(description, source.Filters);
    if (!source.Crosses.IsPanoramicToAppendToCross || strip.Empty() || strip.Width > columns)
        return WriteTiffReplacing(path, 16, rows, columns, image.data(), description.Str(), why);
    return WriteSliceWithStrip(path, std::move(description), image, rows, columns, strip,
                               MarkerColumn(source, index, strip), why);
}

SliceExportCount WriteSlices(const SliceSource& source, const std::string& folder, bool all,
                             IStatusSink* log) {
    SliceExportCount count;
    if (source.Volume == nullptr || source.Volume->mIsNull())
        return count;
    VolumeClass& volume = *source.Volume;
    const int rows = volume.m_DimZ;
    const int columns = volume.m_DimY;
    std::string firstFailure;
    std::string folderProblem;
    const bool folderUsable = folder.size() <= kMaxFolderText && IsFolder(folder, folderProblem);
    if (folder.size() > kMaxFolderText)
        folderProblem = "the output folder path is longer than 255 bytes";

    StripBitmap strip;
    if (source.Crosses.IsPanoramicToAppendToCross && source.Panoramic != nullptr) {
        const images::PanoramicInfo fallback;
        const images::PanoramicInfo& info = source.Info != nullptr ? *source.Info : fallback;
        strip = BuildPanoramicStrip(source.Panoramic->m_Full, info.m_MarginTop, info.m_MarginBottom,
                                    columns);
    }
    std::vector<uint16_t> image;
    for (int i = 0; i < kSliceCount; ++i) {
        if (!(all || source.Selected[static_cast<size_t>(i)]) || !Exportable(source, i))
            continue;
        ++count.Due;
        const std::string path = SliceFileName(folder, i, source.TimeStamp);
        std::error_code error;
        if (fs::exists(path, error))
            continue;
        if (!folderUsable) {
            ++count.Failed;
            continue;
        }
        SliceInfo slice;
        volume.Slice_Extract((i + 1) / static_cast<double>(volume.m_DimX),
                             source.Angles[static_cast<size_t>(i)] - source.ReferenceAngle, &slice);
        if (volume.m_SliceBuffer == nullptr)
            break;
        image.assign(volume.m_SliceBuffer,
                     volume.m_SliceBuffer + static_cast<size_t>(rows) * columns);
        std::string why;
        if (WriteSliceTiff(path, images::BuildSliceDescription(DescribeSlice(source, slice, i)), i,
                           source, image, rows, columns, strip, why)) {
            ++count.Written;
        } else {
            if (count.Failed++ == 0)
                firstFailure = path + " not written: " + why;
        }
    }
    if (log != nullptr && count.Failed > 0) {
        const std::string files = std::to_string(count.Failed) + " slice file" +
                                  (count.Failed == 1 ? "" : "s") + " not exported";
        log->LogMessage(
            "Export: " + files + " (" + (folderUsable ? firstFailure : folderProblem) + ")", false,
            0, false);
    }
    return count;
}

bool HasSelectedSlice(const SliceSource& source) {
    for (int i = 0; i < kSliceCount; ++i) {
        if (source.Selected[static_cast<size_t>(i)] && Exportable(source, i))
            return true;
    }
    return false;
}

bool WritePanoramicFile(const images::PanoramicView& view, const images::PanoramicInfo& info,
                        const std::string& path, std::string& why) {
    why.clear();
    const std::vector<uint16_t> rows = view.CopyRowsTopFirst();
    if (rows.empty())
        return false;
    return WriteTiffReplacing(path, 16, static_cast<int>(view.m_Image.Height()),
                              static_cast<int>(view.m_Image.Width()), rows.data(),
                              info.NormalisedDescription.Str(), why);
}

Export::Export(Workflow& workflow, ExportPorts ports)
    : m_Workflow(workflow), m_Ports(std::move(ports)) {}

void Export::ExportSelected() {
    Run(false);
}

void Export::ExportAll() {
    Run(true);
}

void Export::Run(bool all) {
    if (!m_Workflow.CheckAcquisitionPrograms())
        return;
    if (!m_Workflow.Caller().CallerPanoramicMode)
        ExportPanoramic(!all && !HasSelectedSliceToExport());
    ExportSlices(all);
    if (m_Ports.Wait)
        m_Ports.Wait(kAfterExportWait);
}

void Export::ExportPanoramic(bool showMessage) {
    const images::PanoramicLoader& loader = m_Workflow.Loader();
    if (loader.View() == nullptr)
        return;
    const std::string folder = ReadOutFolderPath(m_Ports.RegistryFile);
    const std::string path = PanoramicFileName(folder, TimeStamp());
    std::error_code error;
    if (fs::exists(path, error)) {
        ShowMessage(kAlreadyExportedTag);
        return;
    }
    if (showMessage)
        ShowMessage(kPanoramicExportedTag);
    std::string why;
    if (folder.size() > kMaxFolderText)
        why = "the output folder path is longer than 255 bytes";
    else if (IsFolder(folder, why))
        WritePanoramicFile(*loader.View(), loader.Info(), path, why);
    if (!why.empty())
        m_Ports.Status.LogMessage("Export: " + path + " not written (" + why + ")", false, 0,
                                  false);
}

void Export::ExportSlices(bool all) {
    if (m_Workflow.Crosses() == nullptr || m_Workflow.Volume().mIsNull())
        return;
    const std::string folder = ReadOutFolderPath(m_Ports.RegistryFile);
    const SliceExportCount count = WriteSlices(Source(), folder, all, &m_Ports.Status);
    if (count.Written > 0)
        ShowMessage(kSlicesExportedTag);
    else if (count.Due > 0 && count.Failed == 0)
        ShowMessage(kAlreadyExportedTag);
}

bool Export::HasSelectedSliceToExport() {
    return m_Workflow.Crosses() != nullptr && HasSelectedSlice(Source());
}

SliceSource Export::Source() {
    SliceSource source;
    images::PanoramicLoader& loader = m_Workflow.Loader();
    source.Volume = &m_Workflow.Volume();
    if (images::PanoramicProjection* projection = loader.Projection();
        projection != nullptr && projection->m_Lut) {
        source.Lut = projection->m_Lut->Projection();
    }
    source.Panoramic = loader.View();
    source.Info = &loader.Info();
    if (const viewer::CrossView* crosses = m_Workflow.Crosses()) {
        source.Angles = crosses->AngleTable();
        source.Selected = crosses->Selection();
        source.Crosses = crosses->Settings();
    }
    // The crosses are cut relative to the angle of the middle volume position, as shown.
    const int middle = std::clamp(source.Volume->m_DimX / 2, 0, kSliceCount - 1);
    source.ReferenceAngle = source.Angles[static_cast<size_t>(middle)];
    std::tie(source.CollimatorA, source.CollimatorB) = m_Workflow.CollimatorFractions();
    source.Filters = m_Workflow.CrossFilters().Entries();
    source.TimeStamp = TimeStamp();
    source.VolumeImageId = m_Workflow.VolumeImageId();
    source.Record = m_Workflow.Record();
    source.YAxisMovable = m_Workflow.YAxisMovable();
    return source;
}

// The stamp is set when a panoramic is chosen in step 2; a volume opened straight from the last
// examination has none, and then its own load time names its files.
std::string Export::TimeStamp() {
    const std::string& stamp = m_Workflow.Loader().ExportTimeStamp();
    if (!stamp.empty())
        return stamp;
    if (!m_Workflow.VolumeImageId().empty())
        return m_Workflow.VolumeImageId();
    return platform::FormatLocalTime("%Y-%m-%d_%H-%M-%S");
}

void Export::ShowMessage(const std::string& tag) {
    const std::string text =
        (m_Ports.Translate ? m_Ports.Translate(tag) : images::UntranslatedTag(tag)) + ".";
    m_Ports.Steps.HideStep();
    m_Ports.Info.ShowInfo(text);
    m_Ports.Status.LogMessage(text, false, 1, false);
    m_Ports.Timers.SetTimer(TimerId::InfoHide, kMessageMs);
}

}  // namespace zor::acquisition
