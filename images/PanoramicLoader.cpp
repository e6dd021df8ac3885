#include "images/PanoramicLoader.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "images/DescriptionReader.h"
#include "images/ImageConstants.h"
#include "images/ImageFileCheck.h"
#include "images/TiffWriter.h"
#include "platform/Paths.h"

namespace zor::images {

namespace {

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

PanoramicLoader::PanoramicLoader(ImageSettings settings, PanoramicPorts ports)
    : m_Settings(std::move(settings)), m_Ports(std::move(ports)) {
    if (!m_Ports.m_Translate)
        m_Ports.m_Translate = UntranslatedTag;
    if (!m_Ports.m_Now)
        m_Ports.m_Now = [] { return static_cast<long long>(std::time(nullptr)); };
    if (m_Ports.m_Filter == nullptr)
        m_Ports.m_Filter = &m_CopyFilter;
    SetCropShares();
}

std::filesystem::path PanoramicLoader::InstallPath(
    std::initializer_list<std::string_view> pieces) const {
    return platform::InstallPath(m_Settings.m_InstallDir, pieces);
}

std::string PanoramicLoader::LutFolder() const {
    return (InstallPath({kConfigFolder}) / "").string();
}

std::string PanoramicLoader::LutFile() const {
    return LutFolder() + m_Info.ProjectionId + std::string(kLutSuffix);
}

void PanoramicLoader::Log(const std::string& text, int level) {
    if (m_Ports.m_Status != nullptr)
        m_Ports.m_Status->LogMessage(text, false, level, false);
}

std::string PanoramicLoader::Tr(std::string_view tag) const {
    return m_Ports.m_Translate(std::string(tag));
}

void PanoramicLoader::EnsureProjection() {
    if (!m_Projection) {
        m_Projection = std::make_unique<PanoramicProjection>(
            m_Ports.m_MakeLut ? m_Ports.m_MakeLut() : std::make_unique<VolumeLibraryLut>());
    }
}

void PanoramicLoader::SetCropShares() {
    m_Info.CropShares = ComputeCropShares(m_Info.m_ProjectionMinor, m_Settings.m_IsPanoramicLimited,
                                          m_Settings.m_PanoramicLimitPercentage);
}

bool PanoramicLoader::RefuseProjection() {
    if (m_Ports.m_StepWindow != nullptr) {
        m_Ports.m_StepWindow->ShowStepWindowAndWait(Tr(kProjectionsErrorTag),
                                                    Tr(kSelectGroupExamTag), kRefusalWaitMs);
    }
    return false;
}

bool PanoramicLoader::FinishRead(ReadStatus status, bool checkLutResult) {
    switch (status) {
        case ReadStatus::ProjectionRefused:
            return RefuseProjection();
        case ReadStatus::Failed:
            return false;
        case ReadStatus::Read:
        case ReadStatus::NotParsed:
            break;
    }
    const bool loaded = LoadProjectionLut(checkLutResult);
    return checkLutResult ? loaded : true;
}

bool PanoramicLoader::LoadPanoramicMetadata(const std::string& path) {
    EnsureProjection();
    m_Info.NormalisedDescription.Clear();
    TiffDescriptionTags tags;
    if (!ReadTiffDescriptionTags(path, tags))
        return false;
    if (tags.m_HasDescription) {
        return FinishRead(ReadCommaForm(tags.m_Description, m_Settings, m_Info), true);
    }
    if (tags.m_HasXmp) {
        const ReadStatus status = ReadTechnicsForm(tags.m_Xmp, m_Settings, m_Info);
        if (status == ReadStatus::Read) {
            LoadProjectionLut(false);
            return true;
        }
        return FinishRead(status, false);
    }
    if (tags.m_HasPanoramicMarker)
        return LoadProjectionLut(true);
    return false;
}

bool PanoramicLoader::ReadCommaFormFile(const std::string& path) {
    EnsureProjection();
    m_Info.NormalisedDescription.Clear();
    TiffDescriptionTags tags;
    if (!ReadTiffDescriptionTags(path, tags) || !tags.m_HasDescription)
        return false;
    return FinishRead(ReadCommaForm(tags.m_Description, m_Settings, m_Info), true);
}

bool PanoramicLoader::BuildTemplateDescription(const TemplateAcquisition& acquisition) {
    EnsureProjection();
    images::BuildTemplateDescription(acquisition, FormatTimeStamp(m_Ports.m_Now()), m_Settings,
                                     m_Info);
    return LoadProjectionLut(true);
}

bool PanoramicLoader::LoadProjectionLut(bool checkResult) {
    EnsureProjection();
    m_Bands = ComputeBandGeometry(m_Info.m_MarginTop, m_Info.m_MarginBottom);
    m_Projection->m_PixelSize = m_Info.m_PixelSize;
    m_Projection->m_MarginLeft = m_Info.m_MarginLeft;
    const std::string folder = LutFolder();
    if (!FileExists(LutFile())) {
        const std::string text = std::string(kIncompatibleProjection) + "\r\n(" +
                                 m_Info.ProjectionId + std::string(kLutSuffix) + " not found)";
        if (m_Ports.m_Steps != nullptr) {
            m_Ports.m_Steps->ShowWorkflowError(std::string(kPanoramicErrorTitle), text, true);
        }
        return false;
    }
    const int rc = m_Projection->m_Lut ? m_Projection->m_Lut->LoadLUT(m_Info.ProjectionId,
                                                                      m_Info.m_MarginLeft, folder)
                                       : -1;
    if (rc == 0 || !checkResult)
        return rc == 0;
    if (m_Ports.m_Steps != nullptr) {
        m_Ports.m_Steps->ShowWorkflowError(std::string(kPanoramicErrorTitle),
                                           std::string(kLutRefused), true);
    }
    return false;
}

int PanoramicLoader::LoadPanoramicImage(const std::string& path, bool newSelection,
                                        bool templateMode) {
    if (newSelection)
        m_ExportTimeStamp = FormatTimeStamp(m_Ports.m_Now());
    // The previous bitmap's storage serves the next working copy: a panoramic is reloaded at
    // every step 2 and 5, and fresh pages cost more than the copy itself.
    std::vector<uint16_t> recycled;
    if (m_View)
        recycled = std::move(m_View->m_Full.m_Samples);
    m_View.reset();
    m_View = std::make_unique<PanoramicView>();
    m_View->m_FilterString = m_Info.NormalisedDescription.Str();
    if (!FileExists(path))
        return -3;
    std::string reason;
    if (!CheckTiffForLoad(path, reason)) {
        Log("Panoramic image refused (" + reason + "): " + path, 0);
        return -3;
    }
    if (!m_View->m_Image.Load(Bitmap::Format::Tiff, path))
        return -3;
    m_View->m_SpacingX = m_View->m_SpacingY = 0.096;
    if (m_View->m_Image.BitsPerPixel() != 16 || !m_View->m_Image.IsGrey16()) {
        return 0;
    }
    PrepareSixteenBit(templateMode, std::move(recycled));
    return 0;
}

void PanoramicLoader::PrepareSixteenBit(bool templateMode, std::vector<uint16_t> storage) {
    PanoramicView& view = *m_View;
    GreyImage16 work;
    work.m_Width = static_cast<int>(view.m_Image.Width());
    work.m_Height = static_cast<int>(view.m_Image.Height());
    work.m_Samples = std::move(storage);
    const uint16_t maxSample = view.CopyRowsTopFirst(work.m_Samples);
    view.m_MaxSample = maxSample;
    work.m_Bits = EffectiveDepth(maxSample);

    view.m_Preview = BuildPreview(work);
    const std::vector<std::string> treatment = ReadTreatments(view.m_FilterString);
    // The working copy becomes the full bitmap, so it is released with the treatment applied.
    view.m_Full = std::move(work);
    ApplyFilterStrings(*m_Ports.m_Filter, treatment, view.m_Full);
    if (!templateMode)
        ApplyFilterStrings(*m_Ports.m_Filter, treatment, view.m_Preview);
    view.m_Loaded = true;
}

int PanoramicLoader::LoadProjectionCurvePicture() {
    return LoadProjectionCurvePicture(
        InstallPath({kConfigFolder, kPictureFolder, kCurvePicture}).string());
}

int PanoramicLoader::LoadProjectionCurvePicture(const std::string& path) {
    EnsureProjection();
    if (!FileExists(path))
        return -3;
    std::string reason;
    if (!CheckBmpForLoad(path, reason)) {
        Log("Projection curve picture refused (" + reason + "): " + path, 0);
        return -3;
    }
    Bitmap& picture = m_Projection->m_CurvePicture;
    if (!picture.Load(Bitmap::Format::Bmp, path))
        return -3;
    if (!picture.Rotate(-90.0))
        return -3;
    m_Projection->m_CurveHeight = static_cast<int>(picture.Height());
    m_Projection->m_CurveWidth = static_cast<int>(picture.Width());
    return 0;
}

bool PanoramicLoader::PreparePanoramicForSelection(const SelectionModes& modes) {
    std::string file;
    bool metadata = false;
    if (modes.m_TemplateMode) {
        file = InstallPath({kWorkFolder, kTemplatePanoramic}).string();
        metadata = BuildTemplateDescription(modes.m_Acquisition);
    } else if (modes.m_CallerPanoramicMode) {
        file = modes.m_CallerPanoramicPath;
        metadata = LoadPanoramicMetadata(file);
    } else {
        file = InstallPath({kWorkFolder, kCurrentPanoramic}).string();
        metadata = ReadCommaFormFile(file);
    }
    if (!metadata)
        return false;
    if (LoadPanoramicImage(file, true, modes.m_TemplateMode) != 0 ||
        LoadProjectionCurvePicture() != 0) {
        if (m_Ports.m_Steps != nullptr) {
            m_Ports.m_Steps->ShowWorkflowError(std::string(kPanoramicErrorTitle),
                                               std::string(kReadingPanoramicError), true);
        }
        return false;
    }
    if (modes.m_CallerPanoramicMode) {
        WritePanoramicArchive(InstallPath({kWorkFolder, kArchivePanoramic}).string(),
                              m_Info.NormalisedDescription);
    }
    return true;
}

int PanoramicLoader::WritePanoramicArchive(const std::string& path,
                                           const DescriptionText& description) {
    if (!m_View || !m_View->m_Image.IsValid())
        return 1;
    if (m_View->m_Image.BitsPerPixel() != 16)
        return 0;
    const std::vector<uint16_t> rows = m_View->CopyRowsTopFirst();
    if (rows.empty())
        return 0;
    const int rc = WriteTiff(path, 16, static_cast<int>(m_View->m_Image.Height()),
                             static_cast<int>(m_View->m_Image.Width()), rows.data(),
                             description.CStr(), description.Size() + 1);
    if (rc != kTiffWritten)
        Log("Panoramic archive not written: " + path, 2);
    return 0;
}

void PanoramicLoader::SetProjectionFrame(const int rect[4]) {
    EnsureProjection();
    std::copy(rect, rect + 4, m_Projection->m_Frame);
    m_Projection->m_VolumeDiameter = 35.0;
}

}  // namespace zor::images
