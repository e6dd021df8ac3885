// zor_tool as operators and scripts use it: exit codes and the files each command leaves.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "zor_r3d/ProjectionIo.h"
#include "zor_vol/VolumeClass.h"

namespace fs = std::filesystem;

namespace {

struct Folder {
    Folder() {
        char tmpl[] = "/tmp/zor_tool_test_XXXXXX";
        path = std::string(::mkdtemp(tmpl)) + "/";
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string path;
};

int RunTool(const std::string& args, const std::string& errorLog = "/dev/null") {
    const std::string cmd =
        std::string(ZOR_TOOL_PATH) + " " + args + " >/dev/null 2>'" + errorLog + "'";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(ZorTool, UsageErrorsAndBadFiles) {
    Folder dir;
    EXPECT_EQ(RunTool(""), 2);
    EXPECT_EQ(RunTool("frobnicate"), 2);
    EXPECT_EQ(RunTool("slice"), 2);
    EXPECT_EQ(RunTool("trajectory " + dir.path + " --column abc"), 2);
    std::ofstream(dir.path + "bad.vol") << "ZORVOL1";
    EXPECT_EQ(RunTool("slice " + dir.path + "bad.vol --pos 0.5 --angle 0 -o " + dir.path + "s.tif"),
              1);
    EXPECT_FALSE(fs::exists(dir.path + "s.tif"));
    EXPECT_EQ(RunTool("reconstruct " + dir.path), 1);  // no trajectory
    EXPECT_EQ(RunTool("project " + dir.path), 1);
}

TEST(ZorTool, TrajectoryProjectReconstructSlice) {
    Folder dir;
    ASSERT_EQ(RunTool("trajectory " + dir.path + " --column 1200"), 0);
    ASSERT_EQ(RunTool("project " + dir.path), 0);
    for (int i = 1; i <= 11; ++i) {
        EXPECT_TRUE(fs::exists(zor_r3d::ProjectionPath(dir.path, i))) << i;
    }
    std::string desc;
    int w = 0, h = 0;
    std::vector<uint16_t> s;
    ASSERT_TRUE(zor_r3d::ReadGrey16Tiff(zor_r3d::ProjectionPath(dir.path, 1), w, h, s, &desc));
    EXPECT_NE(desc.find("tech_fact_s="), std::string::npos);
    EXPECT_NE(desc.find("DAP="), std::string::npos);
    // Into a log (not a terminal) the progress comes as one line per 10 % step of each stage.
    ASSERT_EQ(RunTool("reconstruct " + dir.path, dir.path + "log.txt"), 0);
    std::ifstream log(dir.path + "log.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        EXPECT_EQ(line.find('\r'), std::string::npos) << line;
        lines.push_back(line);
    }
    EXPECT_LE(lines.size(), 22u);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "prepare 100%"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "reconstruct 100%"), lines.end());
    VolumeClass vol;
    ASSERT_EQ(vol.mInit((dir.path + "Volume.vol").c_str()), 0);
    ASSERT_EQ(
        RunTool("slice " + dir.path + "Volume.vol --pos 0.5 --angle 0.2 -o " + dir.path + "s.tif"),
        0);
    w = h = 0;
    ASSERT_TRUE(zor_r3d::ReadGrey16Tiff(dir.path + "s.tif", w, h, s));
    EXPECT_EQ(w, vol.m_DimY);
    EXPECT_EQ(h, vol.m_DimZ);
}

TEST(ZorTool, InfoTellsWhetherAPanoramicLoads) {
    Folder dir;
    // The phantom's installation: its panoramic names a projection whose LUT is there.
    ASSERT_EQ(RunTool("phantom " + dir.path), 0);
    const std::string install = " --install-dir " + dir.path;
    EXPECT_EQ(RunTool("info " + dir.path + "work/phantom_pano.tif" + install), 0);
    EXPECT_EQ(RunTool("info " + dir.path + "work/pano_template.tif" + install), 1)
        << "no description";
    fs::remove(dir.path + "config_zor/0.0.31.10_X.LUT");
    EXPECT_EQ(RunTool("info " + dir.path + "work/phantom_pano.tif" + install), 1) << "no LUT";
    EXPECT_EQ(RunTool("info " + dir.path + "missing.tif" + install), 1);
    EXPECT_EQ(RunTool("info"), 2);
}
