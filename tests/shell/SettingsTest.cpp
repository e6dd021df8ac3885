#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <fstream>

#include "ShellTestSupport.h"
#include "platform/Registry.h"
#include "shell/Settings.h"
#include "shell/ShellConstants.h"

using namespace zor;
using namespace zor::shell;
using zor::test::TempInstall;

TEST(Settings, MissingValuesAreCreatedWithTheirDefaultsInTableOrder) {
    TempInstall t;
    t.WriteDefaultRegistry();
    AppSettings s;
    ASSERT_EQ(LoadSettings(s, t.Registry()), SettingsStatus::Ok);
    EXPECT_EQ(s.InstallDir, t.InstallDir());

    const std::pair<const char*, uint32_t> expected[] = {{"IsPanoramicLimited", 1},
                                                         {"PanoramicLimitPercentage", 60},
                                                         {"IsCrossAngleLimited", 1},
                                                         {"CrossAngleLimit", 45},
                                                         {"IsCrossCropped", 1},
                                                         {"TopBottomCrossColumnCropped", 15},
                                                         {"LeftRightCrossColumnCroppedMinimum", 15},
                                                         {"LeftRightCrossColumnCroppedMaximum", 60},
                                                         {"IsPanoramicToAppendToCross", 1},
                                                         {"IsLastPanoramicPhantom", 0},
                                                         {"SliceVisualNumber", 5}};
    const std::string text = test::ReadFile(t.Registry());
    size_t last = 0;
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(t.Value(name).value_or(platform::RegValue{}).dword, value) << name;
        const size_t at = text.find(std::string("\"") + name + "\"=dword:");
        EXPECT_GT(at, last) << name << " in table order";
        last = at == std::string::npos ? last : at;
    }
}

TEST(Settings, StoredValuesWinAndMistypedOnesAreReplaced) {
    TempInstall t;
    t.WriteDefaultRegistry(
        "\"CrossAngleLimit\"=dword:0000001e\n"
        "\"SliceVisualNumber\"=dword:ffffffff\n"
        "\"PanoramicLimitPercentage\"=\"80\"\n"
        "\"IsCrossCropped\"=dword:00000000\n"
        "\"TopBottomCrossColumnCropped\"=hex(4):07,00\n"
        "\"LeftRightCrossColumnCroppedMinimum\"=hex(4):09,00,00,00\n");
    AppSettings s;
    ASSERT_EQ(LoadSettings(s, t.Registry()), SettingsStatus::Ok);
    EXPECT_EQ(s.CrossAngleLimit, 30);
    EXPECT_EQ(s.SliceVisualNumber, -1);
    EXPECT_EQ(s.PanoramicLimitPercentage, 60) << "a text value is not a DWORD";
    EXPECT_FALSE(s.IsCrossCropped);
    EXPECT_EQ(s.TopBottomCrossColumnCropped, 15) << "two bytes are no DWORD";
    EXPECT_EQ(s.LeftRightCrossColumnCroppedMinimum, 9);
    EXPECT_EQ(t.Value("PanoramicLimitPercentage").value_or(platform::RegValue{}).type, 4u);
}

TEST(Settings, UnusableInstallDirIsRefused) {
    struct Case {
        std::string line;
        SettingsStatus expected;
    };
    const Case cases[] = {
        {"", SettingsStatus::InstallDirInvalid},
        {"\"InstallDir\"=dword:00000001", SettingsStatus::InstallDirInvalid},
        {"\"InstallDir\"=\"" + std::string(260, 'a') + "\"", SettingsStatus::InstallDirInvalid},
        {"\"InstallDir\"=\"" + std::string(259, 'a') + "\"", SettingsStatus::Ok},
        {"\"InstallDir\"=str(2):\"/opt/x/\"", SettingsStatus::Ok},
        {"\"InstallDir\"=\"\"", SettingsStatus::InstallDirInvalid},
    };
    for (const auto& c : cases) {
        TempInstall t;
        t.WriteRegistry(c.line);
        AppSettings s;
        EXPECT_EQ(LoadSettings(s, t.Registry()), c.expected) << c.line.substr(0, 40);
    }
}

TEST(Settings, KeyOrFileUnavailable) {
    TempInstall t;
    AppSettings s;
    EXPECT_EQ(LoadSettings(s, t.Registry()), SettingsStatus::KeyUnavailable) << "no file";
    std::ofstream(t.Registry()) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\other]\n";
    EXPECT_EQ(LoadSettings(s, t.Registry()), SettingsStatus::KeyUnavailable) << "no key";
    EXPECT_FALSE(WriteSettingDword("SliceVisualNumber", 3, t.Registry()));
}

// A held registry lock: SIGTERM still ends a running program, and a start fails with the reason.
TEST(Settings, HeldRegistryLockNeitherHangsExitNorStart) {
    TempInstall t;
    t.WriteDefaultRegistry();
    auto env = QProcessEnvironment::systemEnvironment();  // with the installation's settings
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess manager;
    manager.setProcessEnvironment(env);
    manager.start(ZOR_MANAGER_PATH, {});
    for (int i = 0; i < 2000 && !t.Value("3DTS_hWnd"); ++i)
        usleep(10000);
    ASSERT_TRUE(t.Value("3DTS_hWnd")) << manager.readAllStandardError().toStdString();
    const auto lock = std::filesystem::canonical(t.Registry()).string() + ".lock";
    const int held = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    for (int run = 0; run < 2; ++run) {
        if (run == 0)
            ::kill(static_cast<pid_t>(manager.processId()), SIGTERM);
        else
            manager.start(ZOR_MANAGER_PATH, {});
        EXPECT_TRUE(manager.waitForFinished(20000)) << run;  // a guard against a hang
        EXPECT_EQ(manager.exitCode(), run);
        EXPECT_NE(manager.readAllStandardError().toStdString().find(
                      "The registry file " + lock.substr(0, lock.size() - 5) +
                      " is locked by another process"),
                  std::string::npos);
    }
    ::close(held);
}

TEST(Settings, AppPathOnlyWhenTheUserKeyExists) {
    TempInstall t;
    t.WriteDefaultRegistry();
    EXPECT_FALSE(WriteAppPath("/usr/bin/zor_manager", t.Registry()));
    t.WriteDefaultRegistry("\n[HKEY_CURRENT_USER\\Software\\Vordal\\Dextrum\\Settings]\n");
    EXPECT_TRUE(WriteAppPath("/usr/bin/zor_manager", t.Registry()));
    auto key = platform::RegistryKey::Open(kAppPathKey, false, t.Registry());
    ASSERT_TRUE(key && key->Query("APPPATH"));
    EXPECT_EQ(key->Query("APPPATH")->text, "/usr/bin/zor_manager");
}

TEST(Settings, LanguageChoice) {
    const std::pair<const char*, const char*> cases[] = {
        {"[PCDRIVER_OPTIONS]\nlanguage=8\n", "language/zh.xml"},
        {"[pcdriver_options]\r\nLANGUAGE = 3\r\n", "language/de.xml"},
        {"[PCDRIVER_OPTIONS]\nlanguage=9\n", "language/en.xml"},
        {"[OTHER]\nlanguage=2\n", "language/en.xml"},
    };
    for (const auto& [ini, file] : cases) {
        TempInstall t;
        t.WriteIni(ini);
        EXPECT_EQ(LanguageFilePath(t.InstallDir(), ReadLanguageNumber(t.InstallDir())),
                  t.InstallDir() + file)
            << ini;
    }
    EXPECT_EQ(LanguageFilePath("/opt/zor", 2), "/opt/zor/language/fr.xml");
}
