#pragma once
// The export of the panoramic and the crosses as 16-bit TIFF files into the output folder, with
// an optional panoramic strip under each cross.
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "acquisition/AcquisitionRecord.h"
#include "images/DescriptionText.h"
#include "images/ImageSettings.h"
#include "platform/UserInterfaces.h"
#include "viewer/CrossView.h"

class CLUTProjection;
class VolumeClass;

namespace zor::images {
struct GreyImage16;
struct PanoramicInfo;
class PanoramicView;
}  // namespace zor::images

namespace zor::acquisition {

class Workflow;

/// The output folder: HKEY_LOCAL_MACHINE "SOFTWARE\VORDAL\Orvix\Talvern" value "OutFolderPath"
/// (REG_SZ or REG_EXPAND_SZ, not expanded, at most 520 bytes as UTF-16 with its terminator).
/// A missing key or value, another type or a longer value give the home folder; an empty value
/// gives an empty text (files then go to "/<name>").
std::string ReadOutFolderPath(const std::filesystem::path& registryFile);

/// "<folder>/Panoramic_<stamp>.tif" and "<folder>/Slice_<index>_<stamp>.tif".
std::string PanoramicFileName(const std::string& folder, const std::string& stamp);
std::string SliceFileName(const std::string& folder, int index, const std::string& stamp);

/// An 8-bit grey picture, rows top first.
struct StripBitmap {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Samples;
    bool Empty() const { return Samples.empty(); }
};

/// The strip shown under an exported cross: the panoramic's rows between its top and bottom
/// margins (all rows when the margins leave none), all its columns, box-averaged down (or
/// sampled up) to `width` columns with the aspect kept, at least one row, and mapped to 8 bits
/// from the panoramic's effective depth. Empty for an empty panoramic or a width below 1.
StripBitmap BuildPanoramicStrip(const images::GreyImage16& panoramic, int marginTop,
                                int marginBottom, int width);

/// Blanks an exported cross of `rows` x `columns` samples in place: m = Min + (Max − Min) ×
/// |index − 24| ÷ 25 (truncated) rows at top and bottom and columns at both sides, then the first
/// trunc(rows × b) rows and trunc(rows × a) rows ending one row above the last. Nothing unless
/// `settings.IsCrossCropped`.
void CropExportedSlice(uint16_t* samples, int rows, int columns, int index,
                       const viewer::CrossSettings& settings, float a, float b);

/// Writes a TIFF (WriteTiff's layout) to a temporary file in the folder of `path` and renames it
/// into place, so no half-written file ever carries the final name. False with the reason in
/// `why`; nothing is left behind then.
bool WriteTiffReplacing(const std::string& path, int bits, int height, int width,
                        const void* samples, const std::string& description, std::string& why);

/// Everything the slices of one export are cut from and described with. Pointers are not
/// owned and may be null: no LUT gives column -1 and no marker, no panoramic no strip.
struct SliceSource {
    VolumeClass* Volume = nullptr;
    const CLUTProjection* Lut = nullptr;
    const images::PanoramicView* Panoramic = nullptr;
    const images::PanoramicInfo* Info = nullptr;
    std::array<double, viewer::kCrossPositions> Angles{};  ///< θ_i, radians
    double ReferenceAngle = 0.0;                           ///< θ_ref, radians
    std::array<bool, viewer::kCrossPositions> Selected{};
    viewer::CrossSettings Crosses;  ///< cropping, strip and angle limit
    float CollimatorA = 0.0f;
    float CollimatorB = 0.0f;
    std::vector<std::string> Filters;  ///< the crosses' filter strings (the treatment)
    std::string TimeStamp;             ///< shared by the files of one panoramic
    std::string VolumeImageId;
    AcquisitionRecord Record;  ///< kV, mA, exposure time, Y value and dose of the volume
    bool YAxisMovable = false;
};

/// Writes one cut cross: `image` holds `rows` x `columns` samples and is cropped in place (see
/// CropExportedSlice, position `index`); then the treatment of `source.Filters` is appended to
/// `description` and the file written, with the strip below the cross when
/// `source.Crosses.IsPanoramicToAppendToCross` and `strip` is not empty (see
/// WriteSliceWithStrip; the marker from the LUT's column of position index ÷ 50). False with
/// the reason in `why`.
bool WriteSliceTiff(const std::string& path, images::DescriptionText description, int index,
                    const SliceSource& source, std::vector<uint16_t>& image, int rows, int columns,
                    const StripBitmap& strip, std::string& why);

/// Writes the cross of `rows` x `columns` samples (the first rows x columns of `image`, which
/// grows to (rows + strip height) rows) with the strip below it: strip row r holds bitmap row r
/// shifted left by 6 bits from column floor((columns − strip width) ÷ 2); with `markerColumn`
/// (a strip column, −1 for none) the columns marker ± 2 from strip row 3 to height − 4 and
/// those two rows between them are set to 0xFFFF. ",PANO_HEIGHT=<strip height>" is appended
/// to `description`. The strip must not be wider than the cross.
bool WriteSliceWithStrip(const std::string& path, images::DescriptionText description,
                         std::vector<uint16_t>& image, int rows, int columns,
                         const StripBitmap& strip, int markerColumn, std::string& why);

/// Panoramic column `column` (−1: none) as a column of a strip `stripWidth` wide made from a
/// panoramic `panoramicWidth` wide: floor(column × stripWidth ÷ panoramicWidth), or −1.
int StripMarkerColumn(int column, int stripWidth, int panoramicWidth);

/// What one slice export did: files due (in the volume and within the angle limit), written,
/// and failed.
struct SliceExportCount {
    int Due = 0;
    int Written = 0;
    int Failed = 0;
};

/// Writes the crosses i = 0..49 (selected ones, or all) that lie in the volume (i below its
/// first voxel count) and pass the angle limit into `folder`, cut with Slice_Extract at
/// (i + 1) ÷ that count and angle θ_i − θ_ref. An existing file counts as due and is left
/// alone. A file that cannot be written is skipped and its reason logged to `log` (may be
/// null) at level 0.
SliceExportCount WriteSlices(const SliceSource& source, const std::string& folder, bool all,
                             IStatusSink* log);
/// True when a selected position lies in the volume and passes the angle limit.
bool HasSelectedSlice(const SliceSource& source);
/// Writes the panoramic (16-bit only) with its normalised description. False with `why` when
/// nothing was written (no 16-bit image, or the file could not be written).
bool WritePanoramicFile(const images::PanoramicView& view, const images::PanoramicInfo& info,
                        const std::string& path, std::string& why);

/// What the export shows itself through; references not owned, all outlive the export.
struct ExportPorts {
    IStatusSink& Status;
    IStepWindow& Steps;
    IInfoWindow& Info;
    ITimers& Timers;
    images::Translate Translate;  ///< empty: the tag's own text
    /// The 2000 ms wait after an export; the main window keeps painting. Null: no wait.
    std::function<void(std::chrono::milliseconds)> Wait;
    std::filesystem::path RegistryFile;  ///< where "OutFolderPath" is read
};

/// The export commands of the main window on the workflow's panoramic, volume and crosses.
/// User-interface thread.
class Export {
public:
    Export(Workflow& workflow, ExportPorts ports);

    /// Command 1005: programs checked, the panoramic (told only when no cross is due), the
    /// selected crosses, the wait.
    void ExportSelected();
    /// Command 1006: programs checked, the panoramic silently, every cross, the wait.
    void ExportAll();

    /// Writes the panoramic unless it exists already; `showMessage` tells the operator.
    void ExportPanoramic(bool showMessage);
    /// Writes the selected (or all) crosses and tells what happened.
    void ExportSlices(bool all);
    bool HasSelectedSliceToExport();

private:
    void Run(bool all);
    SliceSource Source();
    std::string TimeStamp();
    void ShowMessage(const std::string& tag);

    Workflow& m_Workflow;
    ExportPorts m_Ports;
};

}  // namespace zor::acquisition
