// zor_tool as operators and scripts use it: exit codes and the files each command leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "libs/talvern_connection/LinkTestPeers.h"
#include "support/TempDir.h"
#include "zor_r3d/ProjectionIo.h"
#include "zor_vol/VolumeClass.h"

namespace fs = std::filesystem;

namespace {

int RunTool(const std::string& args, const std::string& errorLog = "/dev/null",
            const std::string& outputLog = "/dev/null", const std::string& environment = "") {
    const std::string cmd = environment + " " + std::string(ZOR_TOOL_PATH) + " " + args + " >'" +
                            outputLog + "' 2>'" + errorLog + "'";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ZorTool : ::testing::Test {
    const zor::test::TempDir tmp;
    const std::string dir = tmp.Slash();
};

}  // namespace

TEST_F(ZorTool, UsageErrorsAndBadFiles) {
    EXPECT_EQ(RunTool(""), 2);
    EXPECT_EQ(RunTool("frobnicate"), 2);
    EXPECT_EQ(RunTool("slice"), 2);
    EXPECT_EQ(RunTool("trajectory " + dir + " --column abc"), 2);
    std::ofstream(dir + "bad.vol") << "ZORVOL1";
    EXPECT_EQ(RunTool("slice " + dir + "bad.vol --pos 0.5 --angle 0 -o " + dir + "s.tif"), 1);
    EXPECT_FALSE(fs::exists(dir + "s.tif"));
    EXPECT_EQ(RunTool("reconstruct " + dir), 1);  // no trajectory
    EXPECT_EQ(RunTool("project " + dir), 1);
}

TEST_F(ZorTool, TrajectoryProjectReconstructSlice) {
    ASSERT_EQ(RunTool("trajectory " + dir + " --column 1200"), 0);
    ASSERT_EQ(RunTool("project " + dir), 0);
    for (int i = 1; i <= 11; ++i)
        EXPECT_TRUE(fs::exists(zor_r3d::ProjectionPath(dir, i))) << i;
    std::string desc;
    int w = 0, h = 0;
    std::vector<uint16_t> s;
    ASSERT_TRUE(zor_r3d::ReadGrey16Tiff(zor_r3d::ProjectionPath(dir, 1), w, h, s, &desc));
    EXPECT_NE(desc.find("tech_fact_s="), std::string::npos);
    EXPECT_NE(desc.find("DAP="), std::string::npos);
    // Into a log (not a terminal) the progress comes as one line per 10 % step of each stage.
    ASSERT_EQ(RunTool("reconstruct " + dir, dir + "log.txt"), 0);
    std::ifstream log(dir + "log.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        EXPECT_EQ(line.find('\r'), std::string::npos) << line;
        lines.push_back(line);
    }
    EXPECT_LE(lines.size(), 22u);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "prepare 100%"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "reconstruct 100%"), lines.end());
    VolumeClass vol;
    ASSERT_EQ(vol.mInit((dir + "Volume.vol").c_str()), 0);
    ASSERT_EQ(RunTool("slice " + dir + "Volume.vol --pos 0.5 --angle 0.2 -o " + dir + "s.tif"), 0);
    w = h = 0;
    ASSERT_TRUE(zor_r3d::ReadGrey16Tiff(dir + "s.tif", w, h, s));
    EXPECT_EQ(w, vol.m_DimY);
    EXPECT_EQ(h, vol.m_DimZ);
}

TEST_F(ZorTool, InfoTellsWhetherAPanoramicLoads) {
    // The phantom's installation: its panoramic names a projection whose LUT is there.
    ASSERT_EQ(RunTool("phantom " + dir), 0);
    const std::string install = " --install-dir " + dir;
    EXPECT_EQ(RunTool("info " + dir + "work/phantom_pano.tif" + install), 0);
    EXPECT_EQ(RunTool("info " + dir + "work/pano_template.tif" + install), 1) << "no description";
    // An id reaching out of the LUT folder names a file that exists, but the LUT library refuses
    // the id, and so does the report: one rule, the library's.
    int w = 0, h = 0;
    std::vector<uint16_t> pixels;
    std::string desc;
    ASSERT_TRUE(zor_r3d::ReadGrey16Tiff(dir + "work/phantom_pano.tif", w, h, pixels, &desc));
    desc.replace(desc.find("projection=0.0.31,"), 18, "projection=0.0./../0.0.31,");
    ASSERT_TRUE(zor_r3d::WriteGrey16Tiff(dir + "out.tif", w, h, pixels, desc));
    fs::create_directory(dir + "config_zor/0.0.");  // so that "0.0./../" resolves
    EXPECT_EQ(RunTool("info " + dir + "out.tif" + install, "/dev/null", dir + "info.txt"), 1);
    EXPECT_NE(zor::test::ReadFile(dir + "info.txt").find("refused by the LUT library"),
              std::string::npos);
    fs::remove(dir + "config_zor/0.0.31.10_X.LUT");
    EXPECT_EQ(RunTool("info " + dir + "work/phantom_pano.tif" + install), 1) << "no LUT";
    EXPECT_EQ(RunTool("info " + dir + "missing.tif" + install), 1);
    EXPECT_EQ(RunTool("info"), 2);
    ASSERT_EQ(::mkfifo((dir + "fifo.tif").c_str(), 0600), 0);
    EXPECT_EQ(RunTool("info " + dir + "fifo.tif" + install), 1) << "answered, not waiting";
}

TEST_F(ZorTool, LinkShowsWhatTheDeviceReportsOrWhyThereIsNoLink) {
    zor::test::RecordingDevice device;
    device.AbortPermitted = false;
    talvern::LinkServer server(device);
    ASSERT_TRUE(server.Start(0));
    const std::string address = "127.0.0.1:" + std::to_string(server.Port());
    ASSERT_EQ(RunTool("link " + address, "/dev/null", dir + "out.txt"), 0);
    const std::string out = zor::test::ReadFile(dir + "out.txt");
    EXPECT_NE(out.find("connected: yes\nstate: ready\nmay abort: no\n"), std::string::npos) << out;
    EXPECT_EQ(device.AbortRequests, 0) << "the tool only asks";

    // Without an argument the registry's IPAddress is used.
    const std::string registry = dir + "registry.reg";
    zor::test::WriteFile(registry,
                         "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern]\n"
                         "\"IPAddress\"=\"" +
                             address + "\"\n");
    EXPECT_EQ(RunTool("link", "/dev/null", dir + "out.txt", "ZOR_REGISTRY=" + registry), 0);
    EXPECT_NE(zor::test::ReadFile(dir + "out.txt").find("connected: yes"), std::string::npos);

    const std::string refused = "127.0.0.1:" + std::to_string(zor::test::UnusedPort());
    EXPECT_EQ(RunTool("link " + refused, "/dev/null", dir + "out.txt"), 1);
    EXPECT_NE(zor::test::ReadFile(dir + "out.txt").find("connected: no ("), std::string::npos);
    EXPECT_EQ(RunTool("link a b"), 2);
}
