#include "zor_io/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zor::io {
namespace {

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

void Say(std::string* reason, const std::string& path, const std::string& why) {
    if (reason != nullptr) {
        *reason = path + ": " + why;
    }
}

}  // namespace

int OpenRegular(const std::string& path, int flags, std::string* reason) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        const int err = errno;
        Say(reason, path, std::strerror(err));
        errno = err;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        Say(reason, path, std::strerror(err));
        ::close(fd);
        errno = err;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        Say(reason, path,
            std::string("refused, it is ") + KindOf(st.st_mode) + ", not a regular file");
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
        const int err = errno;
        Say(reason, path, std::strerror(err));
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

std::FILE* OpenRegularFile(const std::string& path, const char* mode, std::string* reason) {
    std::string m;
    for (const char* c = mode; c != nullptr && *c != '\0'; ++c) {
        if (*c != 'b') {
            m += *c;
        }
    }
    int flags = 0;
    if (m == "r") {
        flags = O_RDONLY;
    } else if (m == "r+") {
        flags = O_RDWR;
    } else if (m == "a") {
        flags = O_WRONLY | O_APPEND | O_CREAT;
    } else if (m == "a+") {
        flags = O_RDWR | O_APPEND | O_CREAT;
    } else {
        Say(reason, path, std::string("open mode \"") + (mode ? mode : "") + "\" not supported");
        errno = EINVAL;
        return nullptr;
    }
    const int fd = OpenRegular(path, flags, reason);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, mode);
    if (f == nullptr) {
        const int err = errno;
        Say(reason, path, std::strerror(err));
        ::close(fd);
        errno = err;
    }
    return f;
}

ReadStatus ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes,
                         std::string* reason) {
    out.clear();
    const int fd = OpenRegular(path, O_RDONLY, reason);
    if (fd < 0) {
        return errno == ENOENT   ? ReadStatus::Missing
               : errno == EINVAL ? ReadStatus::NotRegular
                                 : ReadStatus::Error;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && static_cast<unsigned long long>(st.st_size) > maxBytes) {
        Say(reason, path,
            "refused, " + std::to_string(st.st_size) + " bytes is more than the " +
                std::to_string(maxBytes) + " this file may hold");
        ::close(fd);
        return ReadStatus::TooLarge;
    }
    // The size may change while reading: the limit holds on the bytes actually read.
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int err = errno;
            Say(reason, path, std::strerror(err));
            ::close(fd);
            out.clear();
            return ReadStatus::Error;
        }
        if (n == 0) {
            break;
        }
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            Say(reason, path,
                "refused, it grew beyond the " + std::to_string(maxBytes) +
                    " bytes this file may hold");
            ::close(fd);
            out.clear();
            return ReadStatus::TooLarge;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

}  // namespace zor::io
