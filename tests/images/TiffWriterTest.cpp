#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

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

std::vector<uint16_t> Ramp(int width, int height) {
    std::vector<uint16_t> s(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<uint16_t>(i * 7919u);
    return s;
}

TEST(WriteTiff, ExactLayoutOf1024x512) {
    TempDir dir;
    const std::string path = dir.File("layout.tif");
    const std::string description = std::string(560, 'd');  // 561 bytes with the NUL
    const std::vector<uint16_t> samples = Ramp(1024, 512);
    ASSERT_EQ(WriteTiff(path, 16, 512, 1024, samples.data(), description.c_str(), 561), 0);
    const std::string b = ReadFile(path);
    ASSERT_EQ(b.size(), 134u + 561u + 1024u * 512u * 2u);
    EXPECT_EQ(b.substr(0, 2), "II");
    EXPECT_EQ(Get(b, 2, 2), 42u);
    EXPECT_EQ(Get(b, 4, 4), 8u);
    EXPECT_EQ(Get(b, 8, 2), 10u);
    struct Entry {
        uint16_t tag, type;
        uint32_t count, value;
    };
    const Entry expected[10] = {
        {277, 3, 1, 1},    {280, 3, 1, 0},   {281, 3, 1, 15}, {262, 3, 1, 1},     {255, 3, 1, 1},
        {256, 3, 1, 1024}, {257, 3, 1, 512}, {258, 3, 1, 16}, {270, 2, 561, 134}, {273, 3, 1, 695}};
    for (int i = 0; i < 10; ++i) {
        const size_t at = 10 + 12 * static_cast<size_t>(i);
        EXPECT_EQ(Get(b, at, 2), expected[i].tag) << i;
        EXPECT_EQ(Get(b, at + 2, 2), expected[i].type) << i;
        EXPECT_EQ(Get(b, at + 4, 4), expected[i].count) << i;
        EXPECT_EQ(Get(b, at + 8, 4), expected[i].value) << i;
    }
    EXPECT_EQ(Get(b, 130, 4), 0u);
    EXPECT_EQ(std::memcmp(b.data() + 134, description.c_str(), 561), 0);
    EXPECT_EQ(std::memcmp(b.data() + 695, samples.data(), samples.size() * 2), 0);
}

struct ReadBack {
    bool m_Ok = false;
    std::string m_Description;
    std::vector<uint8_t> m_Bytes;
    uint32_t m_Width = 0, m_Height = 0;
    uint16_t m_Bits = 0;
};

ReadBack ReadWithLibtiff(const std::string& path) {
    ReadBack r;
    TIFFErrorHandler old = TIFFSetWarningHandler(nullptr);
    TIFF* t = TIFFOpen(path.c_str(), "r");
    TIFFSetWarningHandler(old);
    if (t == nullptr)
        return r;
    const char* d = nullptr;
    if (TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &d) == 1)
        r.m_Description = d;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &r.m_Width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &r.m_Height);
    TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &r.m_Bits);
    const auto line = static_cast<size_t>(TIFFScanlineSize(t));
    r.m_Bytes.resize(line * r.m_Height);
    r.m_Ok = true;
    for (uint32_t y = 0; y < r.m_Height; ++y) {
        r.m_Ok = r.m_Ok && TIFFReadScanline(t, r.m_Bytes.data() + y * line, y, 0) == 1;
    }
    TIFFClose(t);
    return r;
}

TEST(WriteTiff, LibtiffReadsItBack) {
    struct Case {
        int bits, width, height;
        std::string description;
    };
    const Case cases[] = {
        {16, 1024, 512, std::string(560, 'd')},
        {16, 3, 1, "orvix=200,type=PAN"},
        {8, 333, 17, "orvix=333,treat=gamma 1.1"},
        {8, 1, 1, "abcd"},  // from 5 bytes on: shorter texts would sit inside the entry
        {16, 2693, 20, std::string(998, 'x')},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.File("rb.tif");
        std::vector<uint16_t> ramp = Ramp(c.width, c.height);
        std::vector<uint8_t> bytes(ramp.size());
        for (size_t i = 0; i < ramp.size(); ++i)
            bytes[i] = static_cast<uint8_t>(ramp[i] >> 3);
        const void* samples = c.bits == 16 ? static_cast<const void*>(ramp.data()) : bytes.data();
        ASSERT_EQ(WriteTiff(path, c.bits, c.height, c.width, samples, c.description.c_str(),
                            c.description.size() + 1),
                  0);
        const ReadBack r = ReadWithLibtiff(path);
        ASSERT_TRUE(r.m_Ok) << c.width;
        EXPECT_EQ(r.m_Width, static_cast<uint32_t>(c.width));
        EXPECT_EQ(r.m_Height, static_cast<uint32_t>(c.height));
        EXPECT_EQ(r.m_Bits, c.bits);
        EXPECT_EQ(r.m_Description, c.description);
        const size_t n = ramp.size() * (c.bits / 8);
        ASSERT_EQ(r.m_Bytes.size(), n);
        EXPECT_EQ(std::memcmp(r.m_Bytes.data(), samples, n), 0) << c.width;
    }
}

TEST(WriteTiff, BadArgumentsTouchNothing) {
    TempDir dir;
    const std::string path = dir.File("bad.tif");
    const std::vector<uint16_t> s(70000, 1);
    const char d[] = "x";
    struct Case {
        int bits, height, width;
        const void* samples;
        const char* description;
        size_t n;
    };
    const Case cases[] = {
        {12, 2, 2, s.data(), d, 2},    {16, 0, 2, s.data(), d, 2}, {16, 2, 65536, s.data(), d, 2},
        {16, -1, 2, s.data(), d, 2},   {16, 2, 2, nullptr, d, 2},  {16, 2, 2, s.data(), nullptr, 2},
        {8, 2, 2, s.data(), d, 65402},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WriteTiff(path, c.bits, c.height, c.width, c.samples, c.description, c.n),
                  kTiffBadArguments);
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
