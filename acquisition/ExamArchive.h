#pragma once
// The work folder of the current examination and the archive of the previous one.
// Everything here runs on the user-interface thread and touches only the file system.
#include <ctime>
#include <filesystem>
#include <string>

namespace zor::acquisition {

/// Which panoramic the examination used; chooses the source of "pano.tif".
enum class PanoramicSource {
    Template,  ///< "pano_template.tif" (template mode)
    Acquired,  ///< "cur_pano.tif", stored by the driver program
    Caller     ///< "pano_archive.tif", the copy of the caller's panoramic
};

enum class ArchiveResult {
    Done,
    SentTrajectoryCopyFailed,  ///< "ConeBeam.tra" could not be copied to "ConeBeamSent.tra"
    PanoramicCopyFailed        ///< the panoramic could not be copied to "pano.tif"
};

struct ArchiveOutcome {
    ArchiveResult Result = ArchiveResult::Done;
    /// Empty when the previous examination was not archived.
    std::filesystem::path ArchiveFolder;
    /// Files moved into the archive folder by this call.
    int Moved = 0;
    /// For the log when a copy failed: which copy and the system's error text.
    std::string Reason;
};

/// Steps 1 to 4 of archiving an examination in `workFolder` (the ".../work" folder, with or
/// without a trailing '/'): moves the previous examination into its archive folder, makes the
/// sent copies of the hand-off files, copies the panoramic of `source` to "pano.tif", and deletes
/// "Volume.vol" and the eleven projections. The caller (the workflow) shows the error displays
/// for the two copy failures, polls the device and starts the reconstruction preparation.
///
/// Safe against the process being killed at any point: every file stays either in the work
/// folder or in the archive folder, copies appear complete or not at all, and the next call
/// finishes an interrupted archive into the same folder.
ArchiveOutcome ArchiveExam(const std::filesystem::path& workFolder, PanoramicSource source);

struct WorkFileFlags {
    bool PanoramicAvailable = false;       ///< "cur_pano.tif" exists
    bool VolumeAvailable = false;          ///< "Volume.vol" exists
    bool LastAcquisitionComplete = false;  ///< "ConeBeamSent.tra", "pano.tif", projections 1-11
};

/// The three flags of the work-file command update, read from `workFolder`.
WorkFileFlags ReadWorkFileFlags(const std::filesystem::path& workFolder);

/// Archive folder of the time stamp `lastWrite`: the work folder's sibling named
/// "<work folder name>_%Y-%m-%d_%H_%M_%S" in local time, e.g. ".../work_2026-03-01_14_05_09".
std::filesystem::path ArchiveFolderFor(const std::filesystem::path& workFolder, time_t lastWrite);

/// Name of projection `index` (1 to 11) in the work folder: "3DTS_image_projection_<index>.tif".
std::string ProjectionFileName(int index);

}  // namespace zor::acquisition
