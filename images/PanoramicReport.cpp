#include "images/PanoramicReport.h"

#include <memory>

#include "images/DescriptionComposer.h"
#include "images/ImageFileCheck.h"
#include "images/PanoramicLoader.h"
#include "platform/TextConvert.h"
#include "zor_vol/CLUTProjection.h"

namespace zor::images {

namespace {

/// Records what the operator would see instead of showing it.
class MessageRecorder : public IStatusSink, public IWorkflowErrors, public IStepWindow {
public:
    void LogMessage(const std::string& text, bool, int level, bool) override {
        m_Lines += "  log (level " + std::to_string(level) + "): " + text + "\n";
    }
    void ShowWorkflowError(const std::string& title, const std::string& text, bool) override {
        m_Lines += "  workflow error: " + title + ": " + text + "\n";
    }
    void ShowStep(const StepContent&) override {}
    void HideStep() override {}
    void ShowStepWindowAndWait(const std::string& title, const std::string& firstLine,
                               int) override {
        m_Lines += "  step window: " + title + ": " + firstLine + "\n";
    }
    std::string m_Lines;
};

/// The volume library's own LUT load, its result kept for the report: the rule that names and
/// checks the LUT file is the library's, not a second one here.
class RecordingLut : public VolumeLibraryLut {
public:
    int LoadLUT(const std::string& id, int marginLeft, const std::string& folder) override {
        return m_Result = VolumeLibraryLut::LoadLUT(id, marginLeft, folder);
    }
    int m_Result = -1;  ///< -1 while not asked
};

std::string LutState(int result) {
    switch (result) {
        case 0:
            return "loaded";
        case 1:
            return "refused by the LUT library: not a projection id";
        case 2:
            return "not found, or not a regular file";
        case 3:
            return "refused by the LUT library: malformed";
        default:
            return "not loaded";
    }
}

void Field(std::string& out, const char* name, const std::string& value) {
    out += "  ";
    out += name;
    out += ": ";
    out += value;
    out += "\n";
}

}  // namespace

std::string DescribePanoramic(const std::string& path, const ImageSettings& settings) {
    MessageRecorder recorder;
    PanoramicPorts ports;
    ports.m_Status = &recorder;
    ports.m_Steps = &recorder;
    ports.m_StepWindow = &recorder;
    RecordingLut* lutUsed = nullptr;
    ports.m_MakeLut = [&lutUsed] {
        auto lut = std::make_unique<RecordingLut>();
        lutUsed = lut.get();
        return lut;
    };
    PanoramicLoader loader(settings, ports);

    std::string out = "file: " + path + "\n";
    std::string reason;
    out += CheckTiffForLoad(path, reason) ? "image pre-check: accepted\n"
                                          : "image pre-check: refused (" + reason + ")\n";
    TiffDescriptionTags tags;
    std::string openError;
    if (!ReadTiffDescriptionTags(path, tags, &openError)) {
        return out + "description: cannot open as TIFF (" + openError + ")\nresult: refused\n";
    }
    out += std::string("description form: ") +
           (tags.m_HasDescription       ? "comma (tag 270)"
            : tags.m_HasXmp             ? "Technics (tag 700)"
            : tags.m_HasPanoramicMarker ? "marker tag 1000 only"
                                        : "none") +
           "\n";
    const bool ok = loader.LoadPanoramicMetadata(path);
    const PanoramicInfo& info = loader.Info();
    out += "PanoramicInfo:\n";
    Field(out, "pixsize", FormatFixed(info.m_PixelSize));
    Field(out, "Y_value", FormatFixed(info.m_YValue));
    Field(out, "tech_fact_kV", FormatInt(info.m_TubeVoltage));
    Field(out, "tech_fact_mA", FormatInt(info.m_TubeCurrent));
    Field(out, "exposure time (ms)", FormatInt(info.m_ExposureTimeMs));
    Field(out, "patient_orient", FormatInt(info.m_PatientOrientation));
    Field(out, "img_id", info.m_ImageId);
    Field(out, "margins left/right/top/bottom",
          FormatInt(info.m_MarginLeft) + "/" + FormatInt(info.m_MarginRight) + "/" +
              FormatInt(info.m_MarginTop) + "/" + FormatInt(info.m_MarginBottom));
    Field(out, "projection",
          FormatInt(info.m_ProjectionMajor) + "." + FormatInt(info.m_ProjectionMinor) + "." +
              FormatInt(info.m_ProjectionThird));
    Field(out, "projection version", FormatInt(info.m_ProjectionVersion));
    Field(out, "CropShares left/right",
          FormatInt(info.CropShares.m_Left) + "/" + FormatInt(info.CropShares.m_Right));
    out += "ProjectionId: " + info.ProjectionId + "\n";
    out += "NormalisedDescription: " + info.NormalisedDescription.Str() +
           (info.NormalisedDescription.Truncated() ? " (cut to 999 bytes)" : "") + "\n";
    out += "treatment filter strings:\n";
    for (const std::string& f : ReadTreatments(info.NormalisedDescription.Str())) {
        out += "  " + f + "\n";
    }
    const std::string lut = CLUTProjection::LutPath(platform::Utf8ToWide(info.ProjectionId),
                                                    platform::Utf8ToWide(loader.LutFolder()));
    int result = lutUsed != nullptr ? lutUsed->m_Result : -1;
    if (result < 0) {  // the loader stopped before the LUT: ask the library now
        RecordingLut probe;
        result = lut.empty() ? 1 : probe.LoadLUT(info.ProjectionId, 0, loader.LutFolder());
    }
    out += "LUT file: " + (lut.empty() ? loader.LutFile() : lut) + " (" + LutState(result) + ")\n";
    if (!recorder.m_Lines.empty())
        out += "messages:\n" + recorder.m_Lines;
    out += std::string("result: ") + (ok ? "metadata and LUT accepted" : "refused") + "\n";
    return out;
}

}  // namespace zor::images
