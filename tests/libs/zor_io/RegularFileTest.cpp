#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TempDir.h"
#include "zor_io/RegularFile.h"

namespace {

using zor::io::ReadStatus;

// A FIFO, /dev/zero and a folder are refused at once; regular files read whole to the limit.
TEST(RegularFile, OnlyRegularFilesAndWithinTheLimit) {
    zor::test::TempDir dir;
    const std::string fifo = dir.File("fifo"), log = dir.File("log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string reason, out;
    for (const std::string& path : {fifo, std::string("/dev/zero"), dir.Path().string()}) {
        EXPECT_EQ(zor::io::OpenRegularFile(path, "a", &reason), nullptr) << path;
        EXPECT_EQ(zor::io::ReadWholeFile(path, out, 1 << 20, &reason), ReadStatus::NotRegular);
        EXPECT_NE(reason.find(path), std::string::npos) << reason;
    }
    EXPECT_EQ(zor::io::ReadWholeFile(dir.File("none"), out, 10), ReadStatus::Missing);

    std::FILE* f = zor::io::OpenRegularFile(log, "ab", &reason);  // created
    ASSERT_NE(f, nullptr) << reason;
    EXPECT_EQ(::fcntl(fileno(f), F_GETFL) & O_NONBLOCK, 0);
    std::fputs("0123456789", f);
    std::fclose(f);
    EXPECT_EQ(zor::io::ReadWholeFile(log, out, 10), ReadStatus::Ok);
    EXPECT_EQ(out, "0123456789");
    EXPECT_EQ(zor::io::ReadWholeFile(log, out, 9), ReadStatus::TooLarge);
    EXPECT_TRUE(out.empty());
}

}  // namespace
