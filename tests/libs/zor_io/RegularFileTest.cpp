#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TempDir.h"
#include "zor_io/RegularFile.h"

namespace {

using zor::io::ReadStatus;

// A FIFO without a writer, /dev/zero and a folder: each is refused at once with a reason
// naming the path, for reading and for appending, instead of blocking or reading forever.
TEST(RegularFile, RefusesWhatIsNotARegularFile) {
    zor::test::TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero"), dir.Path().string()}) {
        std::string reason, out;
        EXPECT_EQ(zor::io::OpenRegular(path, O_RDONLY, &reason), -1) << path;
        EXPECT_NE(reason.find(path), std::string::npos) << reason;
        EXPECT_EQ(zor::io::OpenRegularFile(path, "a", &reason), nullptr) << path;
        EXPECT_EQ(zor::io::ReadWholeFile(path, out, 1 << 20, &reason), ReadStatus::NotRegular)
            << path;
    }
    std::string reason;
    EXPECT_EQ(zor::io::OpenRegular(fifo, O_RDONLY, &reason), -1);
    EXPECT_NE(reason.find("FIFO"), std::string::npos) << reason;
}

TEST(RegularFile, ReadsAppendsAndBoundsRegularFiles) {
    zor::test::TempDir dir;
    std::string out, reason;
    EXPECT_EQ(zor::io::ReadWholeFile(dir.File("none"), out, 10, &reason), ReadStatus::Missing);

    // Appending creates the file; the descriptor reads and writes in blocking mode.
    std::FILE* f = zor::io::OpenRegularFile(dir.File("log"), "ab", &reason);
    ASSERT_NE(f, nullptr) << reason;
    EXPECT_EQ(::fcntl(fileno(f), F_GETFL) & O_NONBLOCK, 0);
    std::fputs("0123456789", f);
    std::fclose(f);

    EXPECT_EQ(zor::io::ReadWholeFile(dir.File("log"), out, 10), ReadStatus::Ok);
    EXPECT_EQ(out, "0123456789");
    EXPECT_EQ(zor::io::ReadWholeFile(dir.File("log"), out, 9, &reason), ReadStatus::TooLarge);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(zor::io::OpenRegularFile(dir.File("log"), "w", &reason), nullptr);
}

}  // namespace
