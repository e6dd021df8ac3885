#include "acquisition/ExamArchive.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include "acquisition/AcquisitionConstants.h"
#include "platform/LocalTime.h"
#include "zor_io/RegularFile.h"

// How the archive survives a kill at any moment (and a power cut):
// - Files change folders only by rename(2) within one file system, which is atomic: a file is
//   in the work folder or in the archive folder, never lost on the way. An existing file of the
//   same name in the archive folder is never replaced (the move fails and the file stays).
// - "ConeBeamSent.tra" moves last. Its modification time names the archive folder and rename
//   keeps that time, so after an interrupted archive the next call finds the same folder: either
//   through the projections still in the work folder, or, when they had all moved already,
//   through the archive folder that holds projections but no "ConeBeamSent.tra" yet.
// - A copy is written to a temporary name in the work folder, flushed with fsync and then
//   renamed over its target, so a target is the old file or the complete new one. Temporary
//   names left by an interrupted call are deleted first and never archived.
// - Each flush waits for the disk, so there are only two folder flushes: the archive folder
//   once the moves are done, before any copy takes the name of a moved file (should the work
//   folder's side be lost, a moved file has two names, never none), and the work folder at the
//   end. The order of the renames in between is kept on the disk by the file system's journal
//   (ext4 and xfs commit metadata changes in order).

namespace zor::acquisition {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSentTrajectory = "ConeBeamSent.tra";
constexpr std::string_view kPanoramic = "pano.tif";
/// Start of the temporary names of copies in progress; no file of the system begins with it.
constexpr std::string_view kTemporaryPrefix = ".zor-copy.";

/// Files of the work folder that stay there when an examination is archived.
constexpr std::array<std::string_view, 10> kKeepList = {
    "pano_template.tif", "pano_template_child.tif", "ConeBeam.tra", "ConeBeam.csv",
    "ConeBeam_P0.csv",   "ConeBeam_P0.txt",         "Param.txt",    "Test.txt",
    "cur_pano.tif",      "pano_archive.tif"};

struct CopyPair {
    std::string_view Source;
    std::string_view Target;
};
/// The sent trajectory copy, whose failure stops the archive, then the unchecked companions.
constexpr CopyPair kSentTrajectoryCopy = {"ConeBeam.tra", kSentTrajectory};
constexpr std::array<CopyPair, 5> kSentCopies = {{{"ConeBeam.csv", "ConeBeamSent.csv"},
                                                  {"ConeBeam_P0.csv", "ConeBeam_P0Sent.csv"},
                                                  {"ConeBeam_P0.txt", "ConeBeam_P0Sent.txt"},
                                                  {"Param.txt", "ParamSent.txt"},
                                                  {"Test.txt", "TestSent.txt"}}};

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool IsKept(std::string_view name) {
    for (std::string_view kept : kKeepList) {
        if (EqualsNoCase(name, kept))
            return true;
    }
    return false;
}

bool IsProjection(std::string_view name) {
    return name.starts_with(kProjectionPrefix);
}

bool IsTemporary(std::string_view name) {
    return name.starts_with(kTemporaryPrefix);
}

/// The work folder without a trailing separator, so that its name and parent are the real ones.
fs::path Normalized(const fs::path& folder) {
    return folder.has_filename() ? folder : folder.parent_path();
}

/// A descriptor closed at scope exit.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_Fd(fd) {}
    ~FileDescriptor() {
        if (m_Fd >= 0)
            ::close(m_Fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_Fd; }
    /// Closes now and reports the result (a delayed write error shows up here).
    bool Close() {
        const int fd = m_Fd;
        m_Fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_Fd;
};

/// Makes the entries of `folder` (creations, renames, deletions) durable.
void SyncFolder(const fs::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0)
        ::fsync(fd.Get());
}

bool IsRegularFile(const fs::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

/// Names of the entries of `folder` that are not folders (a symbolic link counts as a file).
std::vector<std::string> FileNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->symlink_status(typeError).type() != fs::file_type::directory && !typeError)
            names.push_back(it->path().filename().string());
    }
    return names;
}

/// Deletes the temporary copies an interrupted call left behind and drops them from `names`.
void RemoveTemporaries(const fs::path& work, std::vector<std::string>& names) {
    std::erase_if(names, [&work](const std::string& name) {
        if (!IsTemporary(name))
            return false;
        ::unlink((work / name).c_str());
        return true;
    });
}

/// Moves `name` from `from` to `to` unless `to` already holds that name.
bool MoveFile(const fs::path& from, const fs::path& to, std::string_view name) {
    const fs::path source = from / name;
    const fs::path target = to / name;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without RENAME_NOREPLACE: check first; only this thread moves these files.
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 || errno != ENOENT)
        return false;
    return ::rename(source.c_str(), target.c_str()) == 0;
}

/// True when `archive` holds projections but not yet "ConeBeamSent.tra": an archive that was
/// cut short after its last projection moved.
bool IsInterruptedArchive(const fs::path& archive) {
    if (::access((archive / kSentTrajectory).c_str(), F_OK) == 0)
        return false;
    for (const std::string& name : FileNames(archive)) {
        if (IsProjection(name))
            return true;
    }
    return false;
}

/// The archive folder of the previous examination, or an empty path when there is none to
/// archive: "ConeBeamSent.tra" and a projection must be present (or an interrupted archive).
fs::path PendingArchive(const fs::path& work, const std::vector<std::string>& names) {
    struct stat st {};
    if (::stat((work / kSentTrajectory).c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return {};
    const fs::path archive = ArchiveFolderFor(work, st.st_mtime);
    for (const std::string& name : names) {
        if (IsProjection(name))
            return archive;
    }
    return IsInterruptedArchive(archive) ? archive : fs::path();
}

/// Moves every file of `names` outside the keep-list into `archive`, "ConeBeamSent.tra" last.
/// Returns the number of files moved; a file that cannot be moved stays where it is.
int MoveExamination(const fs::path& work, const fs::path& archive,
                    const std::vector<std::string>& names) {
    // The creation fails when the folder exists (same second): the moves go into it.
    ::mkdir(archive.c_str(), 0777);
    int moved = 0;
    bool sentTrajectoryPresent = false;
    for (const std::string& name : names) {
        if (name == kSentTrajectory)
            sentTrajectoryPresent = true;
        else if (!IsKept(name) && MoveFile(work, archive, name))
            ++moved;
    }
    if (sentTrajectoryPresent && MoveFile(work, archive, kSentTrajectory))
        ++moved;
    SyncFolder(archive);
    return moved;
}

/// Copies the bytes of `in` to `out`, in the kernel where it can.
bool CopyBytes(int in, int out, off_t size) {
    off_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::copy_file_range(in, nullptr, out, nullptr, static_cast<std::size_t>(size - done), 0);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n == 0)
            break;  // the source shrank while it was copied
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return false;
        break;  // not offered here: finish with plain reads and writes
    }
    std::array<char, 256 * 1024> buffer{};
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t written = 0; written < n;) {
            const ssize_t w =
                ::write(out, buffer.data() + written, static_cast<std::size_t>(n - written));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            written += w;
        }
    }
}

std::string CopyFailure(const CopyPair& copy, const std::string& why) {
    return "copying \"" + std::string(copy.Source) + "\" to \"" + std::string(copy.Target) +
           "\": " + why;
}

/// Copies `copy.Source` over `copy.Target` in `work` as a whole or not at all, keeping the
/// source's permission bits and modification time. On failure `reason` says why and no
/// temporary file stays behind.
bool CopyWhole(const fs::path& work, const CopyPair& copy, std::string& reason) {
    std::string why;
    // Only a regular file is opened, without blocking on a FIFO put in its place.
    FileDescriptor in(zor::io::OpenRegular((work / copy.Source).string(), O_RDONLY, &why));
    if (in.Get() < 0) {
        reason = CopyFailure(copy, why);
        return false;
    }
    struct stat st {};
    if (::fstat(in.Get(), &st) != 0) {
        reason = CopyFailure(copy, std::strerror(errno));
        return false;
    }
    const fs::path temporary = work / (std::string(kTemporaryPrefix) + std::string(copy.Target));
    FileDescriptor out(::open(temporary.c_str(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                              st.st_mode & 07777));
    if (out.Get() < 0) {
        reason = CopyFailure(copy, std::strerror(errno));
        return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    const bool written = CopyBytes(in.Get(), out.Get(), st.st_size) &&
                         ::futimens(out.Get(), times) == 0 && ::fsync(out.Get()) == 0;
    const int writeError = errno;
    if (!out.Close() || !written ||
        ::rename(temporary.c_str(), (work / copy.Target).c_str()) != 0) {
        reason = CopyFailure(copy, std::strerror(written ? errno : writeError));
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string_view PanoramicFile(PanoramicSource source) {
    switch (source) {
        case PanoramicSource::Template:
            return "pano_template.tif";
        case PanoramicSource::Caller:
            return "pano_archive.tif";
        case PanoramicSource::Acquired:
            break;
    }
    return kCurrentPanoramicFile;
}

/// Steps 2 and 3: the sent copies and "pano.tif".
ArchiveResult MakeCopies(const fs::path& work, PanoramicSource source, std::string& reason) {
    if (!CopyWhole(work, kSentTrajectoryCopy, reason))
        return ArchiveResult::SentTrajectoryCopyFailed;
    std::string ignored;
    for (const CopyPair& copy : kSentCopies)
        CopyWhole(work, copy, ignored);
    if (!CopyWhole(work, {PanoramicFile(source), kPanoramic}, reason))
        return ArchiveResult::PanoramicCopyFailed;
    return ArchiveResult::Done;
}

}  // namespace

std::string ProjectionFileName(int index) {
    return std::string(kProjectionPrefix) + std::to_string(index) + ".tif";
}

fs::path ArchiveFolderFor(const fs::path& workFolder, time_t lastWrite) {
    const fs::path work = Normalized(workFolder);
    return work.parent_path() /
           (work.filename().string() + platform::FormatLocalTime("_%Y-%m-%d_%H_%M_%S", lastWrite));
}

ArchiveOutcome ArchiveExam(const fs::path& workFolder, PanoramicSource source) {
    const fs::path work = Normalized(workFolder);
    ArchiveOutcome outcome;
    std::vector<std::string> names = FileNames(work);
    RemoveTemporaries(work, names);

    const fs::path archive = PendingArchive(work, names);
    if (!archive.empty()) {
        outcome.ArchiveFolder = archive;
        outcome.Moved = MoveExamination(work, archive, names);
    }

    outcome.Result = MakeCopies(work, source, outcome.Reason);
    if (outcome.Result == ArchiveResult::Done) {
        ::unlink((work / kVolumeFile).c_str());
        for (int index = 1; index <= kProjectionCount; ++index)
            ::unlink((work / ProjectionFileName(index)).c_str());
    }
    SyncFolder(work);
    return outcome;
}

WorkFileFlags ReadWorkFileFlags(const fs::path& workFolder) {
    const fs::path work = Normalized(workFolder);
    WorkFileFlags flags;
    flags.PanoramicAvailable = IsRegularFile(work / kCurrentPanoramicFile);
    flags.VolumeAvailable = IsRegularFile(work / kVolumeFile);
    bool complete = IsRegularFile(work / kSentTrajectory) && IsRegularFile(work / kPanoramic);
    for (int index = 1; complete && index <= kProjectionCount; ++index)
        complete = IsRegularFile(work / ProjectionFileName(index));
    flags.LastAcquisitionComplete = complete;
    return flags;
}

}  // namespace zor::acquisition
