#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "images/TiffWriter.h"
#include "support/TempDir.h"

namespace zor::images {
namespace {

using zor::test::ReadFile;
using zor::test::TempDir;

uint32_t Get(const std::string& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}

// The exact layout (header, ten entries, description, samples), which libtiff reads back.
TEST(WriteTiff, ExactLayoutThatLibtiffReadsBack) {
    const std::tuple<int, int, int, std::string> cases[] = {
        // bits, width, height, description
        {16, 1024, 512, std::string(560, 'd')},
        {16, 3, 1, "orvix=200,type=PAN"},
        {8, 333, 17, "orvix=333,treat=gamma 1.1"},
        {8, 1, 1, "abcd"},  // from 5 bytes on: shorter texts would sit inside the entry
        {16, 2693, 20, std::string(998, 'x')},
        {16, 256, 256, "orvix=200,name=J\xE9r\xF4me"},  // every 16-bit value; 8-bit text kept
    };
    TempDir dir;
    for (const auto& [bits, width, height, description] : cases) {
        const std::string path = dir.File("rb.tif");
        std::vector<uint16_t> ramp(static_cast<size_t>(width) * height);
        for (size_t i = 0; i < ramp.size(); ++i)
            ramp[i] = static_cast<uint16_t>(i * 7919u);
        const std::vector<uint8_t> narrow(ramp.begin(), ramp.end());
        const void* samples = bits == 16 ? static_cast<const void*>(ramp.data()) : narrow.data();
        const uint32_t n = static_cast<uint32_t>(description.size() + 1), w = width, h = height;
        const size_t bytes = ramp.size() * bits / 8;
        ASSERT_EQ(WriteTiff(path, bits, height, width, samples, description.c_str(), n), 0);
        const std::string b = ReadFile(path);
        ASSERT_EQ(b.size(), 134u + n + bytes) << width;
        // "II", 42, one directory of ten entries at 8, the last one.
        EXPECT_EQ(
            std::tuple(Get(b, 0, 2), Get(b, 2, 2), Get(b, 4, 4), Get(b, 8, 2), Get(b, 130, 4)),
            std::tuple(0x4949u, 42u, 8u, 10u, 0u));
        const uint32_t max = bits == 16 ? 15 : 255, ubits = bits;
        const uint32_t entries[10][4] = {{277, 3, 1, 1},      {280, 3, 1, 0},     {281, 3, 1, max},
                                         {262, 3, 1, 1},      {255, 3, 1, 1},     {256, 3, 1, w},
                                         {257, 3, 1, h},      {258, 3, 1, ubits}, {270, 2, n, 134},
                                         {273, 3, 1, 134 + n}};
        for (size_t i = 0; i < 10; ++i) {
            const size_t at = 10 + 12 * i;
            EXPECT_EQ(
                std::tuple(Get(b, at, 2), Get(b, at + 2, 2), Get(b, at + 4, 4), Get(b, at + 8, 4)),
                std::tuple(entries[i][0], entries[i][1], entries[i][2], entries[i][3]))
                << width << " entry " << i;
        }
        EXPECT_EQ(std::memcmp(b.data() + 134, description.c_str(), n), 0);
        EXPECT_EQ(std::memcmp(b.data() + 134 + n, samples, bytes), 0);
        TIFF* t = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(t, nullptr) << width;
        const char* text = nullptr;
        TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &text);
        EXPECT_EQ(text ? text : "", description);
        const auto line = static_cast<size_t>(TIFFScanlineSize(t));
        ASSERT_EQ(line * h, bytes);
        std::vector<uint8_t> read(bytes);
        for (uint32_t y = 0; y < h; ++y)
            ASSERT_EQ(TIFFReadScanline(t, read.data() + y * line, y, 0), 1);
        TIFFClose(t);
        EXPECT_EQ(std::memcmp(read.data(), samples, bytes), 0) << width;
    }
}

TEST(WriteTiff, BadArgumentsTouchNothing) {
    TempDir dir;
    const std::string path = dir.File("bad.tif");
    const std::vector<uint16_t> s(70000, 1);
    const char d[] = "x";
    // bits, height, width, samples, description, its size with the NUL
    const std::tuple<int, int, int, const void*, const char*, size_t> cases[] = {
        {12, 2, 2, s.data(), d, 2},    {16, 0, 2, s.data(), d, 2}, {16, 2, 65536, s.data(), d, 2},
        {16, -1, 2, s.data(), d, 2},   {16, 2, 2, nullptr, d, 2},  {16, 2, 2, s.data(), nullptr, 2},
        {8, 2, 2, s.data(), d, 65402},
    };
    for (const auto& [bits, height, width, samples, description, n] : cases) {
        EXPECT_EQ(WriteTiff(path, bits, height, width, samples, description, n), kTiffBadArguments);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

TEST(WriteTiff, OtherWriterOrMissingFolder) {
    TempDir dir;
    const std::string path = dir.File("locked.tif");
    zor::test::WriteFile(path, "\x01\x02\x03");
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const uint16_t sample = 5;
    EXPECT_EQ(WriteTiff(path, 16, 1, 1, &sample, "a", 2), kTiffNotCreated);
    EXPECT_EQ(ReadFile(path), "\x01\x02\x03");  // the other writer's data stays
    ::close(fd);
    EXPECT_EQ(WriteTiff(path, 16, 1, 1, &sample, "a", 2), kTiffWritten);
    EXPECT_EQ(ReadFile(path).size(), 134u + 2u + 2u);
    EXPECT_EQ(WriteTiff(dir.File("missing/x.tif"), 16, 1, 1, &sample, "a", 2), kTiffNotCreated);
}

}  // namespace
}  // namespace zor::images
