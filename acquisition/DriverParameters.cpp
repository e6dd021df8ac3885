#include "acquisition/DriverParameters.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "acquisition/AcquisitionConstants.h"
#include "platform/NamedObject.h"

namespace zor::acquisition {

namespace {

constexpr int kSubImages = 11;
constexpr int32_t kMagnificationMillionths = 1436031;

std::string WorkFolderText(const std::filesystem::path& installDir) {
    return installDir.string() + "/work/";
}

class LineBuilder {
public:
    void Add(std::string_view key, std::string_view value) {
        if (!m_Line.empty())
            m_Line += ' ';
        m_Line.append(key).append(" ").append(value);
    }
    void Add(std::string_view key, int32_t value) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        Add(key, std::string_view(digits, static_cast<size_t>(end - digits)));
    }
    std::string Take() { return std::move(m_Line); }

private:
    std::string m_Line;
};

std::string ErrnoText(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

/// Replaces `path` by a file holding `text`: written under a hidden temporary name in the same
/// folder, then renamed, so a reader sees the old file or the whole new one.
bool ReplaceFile(const std::string& folder, const std::string& path, const std::string& text,
                 std::string& why) {
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = folder + "." + std::string(kParamFile) + "." + std::to_string(::getpid()) + "." +
               std::to_string(counter++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        why = ErrnoText("cannot create", temp, errno);
        return false;
    }
    const bool written = WriteAll(fd, text);
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        why = ErrnoText("cannot write", temp, written ? errno : writeError);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        why = ErrnoText("cannot replace", path, errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string DriverParameterText(const std::filesystem::path& installDir,
                                const DriverParameters& p) {
    const std::string work = WorkFolderText(installDir);
    LineBuilder line;
    line.Add("#CALLER", 2);
    line.Add("#DIR", work);
    line.Add("#FILE", work + "ConeBeam.csv");
    line.Add("#KV", p.Kv);
    line.Add("#MA", p.Ma);
    line.Add("#PRJGRPIDX", 4);
    line.Add("#PRJTYPEIDX", 0);
    line.Add("#PATORIENT", p.Orientation);
    line.Add("#YCANMOVE", p.TemplateMode ? 1 : 0);
    line.Add("#INITXPOS", p.XPos);
    line.Add("#INITYPOS", p.YPos);
    line.Add("#INITRPOS", p.RotationPos);
    // Wraps like the driver's own 32-bit arithmetic instead of overflowing.
    line.Add("#COLSNUM", static_cast<int32_t>(static_cast<uint32_t>(p.Columns) * kSubImages));
    line.Add("#SUBIMGNUM", kSubImages);
    line.Add("#Y_CORRECTION", p.YCorrection);
    line.Add("#EXPOSURE_TIME", p.ExposureTimeMs);
    if (p.YAxisMovable) {
        line.Add("#COLLIM_POS_INF", p.CollimatorLower);
        line.Add("#COLLIM_POS_SUP", p.CollimatorUpper);
    }
    for (int i = 1; i <= kSubImages; ++i) {
        const std::string key = "#SUBIMG_" + std::to_string(i) + "_";
        line.Add(key + "COLSNUM", p.Columns);
        line.Add(key + "HORZMAGNIFACTOR", kMagnificationMillionths);
        line.Add(key + "VERTMAGNIFACTOR", kMagnificationMillionths);
        line.Add(key + "MARGINLEFT", 0);
        line.Add(key + "MARGINRIGHT", 0);
        line.Add(key + "MARGINTOP", 0);
        line.Add(key + "MARGINBOTTOM", 0);
    }
    return line.Take();
}

bool WriteDriverParameters(const std::filesystem::path& installDir, const DriverParameters& p,
                           const ProgramLauncher& launch, std::string* why) {
    std::string reason;
    const std::string work = WorkFolderText(installDir);
    const std::string paramPath = work + std::string(kParamFile);
    if (!ReplaceFile(work, paramPath, DriverParameterText(installDir, p), reason)) {
        if (why != nullptr)
            *why = reason;
        return false;
    }
    const std::filesystem::path program = installDir.string() + "/" + std::string(kDriverProgram);
    const int result = launch ? launch(program, "  #FILEPARAM " + paramPath, installDir) : 0;
    if (result <= 32) {
        if (why != nullptr)
            *why = program.string() + " could not be started (code " + std::to_string(result) + ")";
        return false;
    }
    if (why != nullptr)
        why->clear();
    return true;
}

const char* MissingAcquisitionProgram() {
    if (!platform::IsProcessRunning(std::string(kDriverProgram)))
        return "_[xray panoramic PC Driver was not started]_";
    if (!platform::NamedObjectExists(std::string(kCaptureStationName)))
        return "_[Image capturing software was not started]_";
    return nullptr;
}

}  // namespace zor::acquisition
