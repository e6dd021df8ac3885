#pragma once
// Acquisition engine of the simulated device PC driver: reads the parameter file the system hands
// over with "#FILEPARAM", acquires the phantom's panoramic and its 11 projections along the
// trajectory written beside that file, and writes the answer file the system reads back. The
// driver host program owns the status channel and the panel; this library only does the work.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "phantom/DentalPhantom.h"

namespace zor::driver_sim {

/// Caller id the driver writes into its answers ("#CALLER").
constexpr int kDriverCaller = 3;
/// Caller id the system writes into the parameter file.
constexpr int kSystemCaller = 2;
/// Projections per acquisition, and sub-images per parameter file.
constexpr int kProjectionCount = 11;

/// Answer codes ("#ERR") the system acts on; any other value is an error.
constexpr int kCodeHideWindows = -52;
constexpr int kCodeArchive = -51;
constexpr int kCodeProjectionsReady = -54;

/// Error codes of this driver (positive, so they never collide with the progress codes).
constexpr int kErrParameterFile = 1;  ///< parameter file missing, unreadable or malformed
constexpr int kErrTrajectory = 2;     ///< trajectory file missing or unreadable
constexpr int kErrWrite = 3;          ///< a projection could not be written
constexpr int kErrAborted = 4;        ///< the operator cancelled the acquisition

/// The message the system compares (case-insensitively) to return to step 1 after a cancel.
constexpr const char* kAbortedMessage = "aborted by user";

/// One sub-image's keys ("#SUBIMG_<i>_...").
struct SubImage {
    int Cols = 0;
    int HorzMagnification = 0;  ///< millionths
    int VertMagnification = 0;  ///< millionths
    int MarginLeft = 0, MarginRight = 0, MarginTop = 0, MarginBottom = 0;
};

/// Every key of the parameter file, typed.
struct ParameterSet {
    int Caller = 0;
    std::string Dir;   ///< work folder ("#DIR")
    std::string File;  ///< trajectory file ("#FILE")
    int Kv = 0, Ma = 0;
    int ProjectionGroup = 0;  ///< "#PRJGRPIDX"
    int ProjectionType = 0;   ///< "#PRJTYPEIDX"
    int PatientOrientation = 0;
    int YCanMove = 0;
    int InitX = 0, InitY = 0, InitR = 0;
    int Cols = 0;           ///< total columns, 11 × the per-projection count
    int SubImageCount = 0;  ///< "#SUBIMGNUM"
    int YCorrection = 0;
    int ExposureTimeMs = 0;
    bool HasCollimator = false;  ///< "#COLLIM_POS_INF" and "#COLLIM_POS_SUP" present
    int CollimatorLower = 0;     ///< 0..5600
    int CollimatorUpper = 0;     ///< -19749..0
    std::array<SubImage, kProjectionCount> SubImages{};
};

/// Result of reading a parameter file: on refusal `ok` is false, `errorCode` is
/// kErrParameterFile and `message` says what is wrong (key named).
struct ParameterCheck {
    bool ok = false;
    int errorCode = 0;
    std::string message;
    ParameterSet params;
};

/// Reads and validates the parameter file (regular file only, at most 64 KiB, UTF-8).
ParameterCheck ReadParameterFile(const std::string& path);
/// Validates the text of a parameter file.
ParameterCheck ParseParameterText(const std::string& text);

/// Writes "cur_pano.tif" of the phantom with its comma-form description into `workFolder`
/// (ending with '/') atomically: a temporary name in the same folder, fsync, rename.
bool WriteCurrentPanoramic(const std::string& workFolder, phantom::PhantomKind kind,
                           std::string* error);

/// One projection acquisition.
struct ProjectionRun {
    ParameterSet params;
    std::string trajectoryPath;  ///< "ConeBeam.csv" or "ConeBeam.tra"
    std::string outputFolder;    ///< ending with '/'
    phantom::PhantomKind kind = phantom::PhantomKind::Adult;
    uint32_t noiseSeed = 1;
    /// Polled between projections; true stops the acquisition.
    std::function<bool()> cancelled;
    /// Called after each projection written (done of total).
    std::function<void(int done, int total)> progress;
};

struct ProjectionResult {
    int code = 0;         ///< kCodeProjectionsReady on success, else an error code
    std::string message;  ///< empty on success; kAbortedMessage on cancel
    std::string dir;      ///< folder of the projections ("#DIR")
    std::string file;     ///< projection file pattern ("#FILE")
    int written = 0;      ///< projections written
};

/// Reads the trajectory, projects the phantom along it with the collimator limits and photon
/// noise applied and writes "3DTS_image_projection_<i>.tif" (i = 1..11), each atomically.
/// A cancel removes the projections already written and answers "aborted by user". Projection
/// files of an earlier acquisition in the output folder are removed first. The system's archive
/// step (answer kCodeArchive) deletes the work folder's projection files, so the driver answers
/// kCodeHideWindows and kCodeArchive before calling this and kCodeProjectionsReady after.
ProjectionResult AcquireProjections(const ProjectionRun& run);

/// One answer to the system.
struct Answer {
    int caller = kDriverCaller;
    int code = 0;
    std::string message;
    std::string dir;   ///< only with kCodeProjectionsReady
    std::string file;  ///< only with kCodeProjectionsReady
};

/// The answer's single line (no line end).
std::string FormatAnswer(const Answer& answer);
/// Writes the answer file atomically.
bool WriteAnswerFile(const std::string& path, const Answer& answer, std::string* error);

}  // namespace zor::driver_sim
