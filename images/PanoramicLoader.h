#pragma once
// Loading of a panoramic with its metadata, projection LUT and curve picture, and its archive
// copy: the image state the main window keeps between workflow steps.
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "images/Bitmap.h"
#include "images/DescriptionComposer.h"
#include "images/DescriptionReader.h"
#include "images/DisplayFilter.h"
#include "images/ImageInterfaces.h"
#include "images/ImageSettings.h"
#include "images/PanoramicInfo.h"
#include "images/PanoramicView.h"
#include "platform/UserInterfaces.h"

namespace zor::images {

/// The projection side of the panoramic: curve picture, LUT object and drawing frame. Created on
/// first use and kept across loads; user-interface thread.
class PanoramicProjection {
public:
    explicit PanoramicProjection(std::unique_ptr<IProjectionLut> lut) : m_Lut(std::move(lut)) {}

    Bitmap m_CurvePicture;                  ///< kestel.bmp rotated by −90 degrees
    std::unique_ptr<IProjectionLut> m_Lut;  ///< never null unless a factory returned null
    double m_PixelSize = 0.0;               ///< from PanoramicInfo at LUT load
    int m_MarginLeft = 0;                   ///< from PanoramicInfo at LUT load
    int m_CurveWidth = 0;                   ///< curve picture after rotation, pixels
    int m_CurveHeight = 0;
    double m_VolumeDiameter = 35.0;  ///< mm
    int m_Frame[4] = {0, 0, 0, 0};   ///< left, top, right, bottom (client pixels)
};

/// Everything the loader talks to; pointers are not owned and may be null (then nothing is
/// shown, a refusal does not wait, and filters copy unchanged).
struct PanoramicPorts {
    IStatusSink* m_Status = nullptr;
    IWorkflowErrors* m_Steps = nullptr;
    IStepWindow* m_StepWindow = nullptr;
    IDisplayFilter* m_Filter = nullptr;
    Translate m_Translate;  ///< default: UntranslatedTag
    /// The LUT object factory; default: VolumeLibraryLut (the volume library's CLUTProjection).
    std::function<std::unique_ptr<IProjectionLut>()> m_MakeLut;
    std::function<long long()> m_Now;  ///< seconds since the epoch
};

/// The workflow state that chooses which panoramic step 2 loads.
struct SelectionModes {
    bool m_TemplateMode = false;
    bool m_CallerPanoramicMode = false;
    std::string m_CallerPanoramicPath;  ///< UTF-8
    TemplateAcquisition m_Acquisition;  ///< for the template panoramic
};

/// Panoramic metadata, display object and projection of the main window. User-interface thread.
class PanoramicLoader {
public:
    PanoramicLoader(ImageSettings settings, PanoramicPorts ports);

    /// Reads the description of the TIFF at `path` (comma form, Technics form, or the marker
    /// tag alone), then loads the LUT. True when the LUT is loaded (Technics: when read).
    bool LoadPanoramicMetadata(const std::string& path);
    /// The comma-form reader alone: tag 270 required; then the LUT.
    bool ReadCommaFormFile(const std::string& path);
    /// Template panoramic metadata from the acquisition, then the LUT.
    bool BuildTemplateDescription(const TemplateAcquisition& acquisition);
    /// Band geometry, LUT file check and library load. `checkResult` false ignores the
    /// library's answer (Technics path). True when loaded.
    bool LoadProjectionLut(bool checkResult = true);
    /// Recomputes `CropShares` from the projection minor and the settings.
    void SetCropShares();

    /// 0 loaded (any depth), −3 missing, refused by the pre-check or unreadable.
    int LoadPanoramicImage(const std::string& path, bool newSelection, bool templateMode = false);
    /// 0 loaded, −3 missing, refused or unreadable. Default path: the install's kestel.bmp.
    int LoadProjectionCurvePicture(const std::string& path);
    int LoadProjectionCurvePicture();
    /// Steps 2 to 5 of the panoramic part of workflow step 2 (the caller shows the wait cursor,
    /// hides its windows, stops the preparation, and lays out the pane afterwards).
    bool PreparePanoramicForSelection(const SelectionModes& modes);
    /// 1 when no valid image is loaded; 0 otherwise (nothing written unless 16-bit).
    int WritePanoramicArchive(const std::string& path, const DescriptionText& description);
    /// Stores the drawing rectangle (left, top, right, bottom) and the volume diameter.
    void SetProjectionFrame(const int rect[4]);

    PanoramicInfo& Info() { return m_Info; }
    const PanoramicInfo& Info() const { return m_Info; }
    const PanoramicView* View() const { return m_View.get(); }
    PanoramicProjection* Projection() { return m_Projection.get(); }
    const BandGeometry& Bands() const { return m_Bands; }
    const std::string& ExportTimeStamp() const { return m_ExportTimeStamp; }
    /// InstallDir/config_zor/ (with its final separator, as the LUT library joins it) and the
    /// LUT file of the current `ProjectionId`.
    std::string LutFolder() const;
    std::string LutFile() const;
    /// InstallDir followed by folder and file names.
    std::filesystem::path InstallPath(std::initializer_list<std::string_view> pieces) const;

private:
    void EnsureProjection();
    bool RefuseProjection();
    bool FinishRead(ReadStatus status, bool checkLutResult);
    void Log(const std::string& text, int level);
    std::string Tr(std::string_view tag) const;
    void PrepareSixteenBit(bool templateMode, std::vector<uint16_t> storage);

    ImageSettings m_Settings;
    PanoramicPorts m_Ports;
    CopyDisplayFilter m_CopyFilter;
    PanoramicInfo m_Info;
    BandGeometry m_Bands;
    std::unique_ptr<PanoramicView> m_View;
    std::unique_ptr<PanoramicProjection> m_Projection;
    std::string m_ExportTimeStamp;
};

}  // namespace zor::images
