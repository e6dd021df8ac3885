#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <tuple>

#include "ShellTestSupport.h"
#include "acquisition/IWorkflow.h"
#include "shell/CallerParameters.h"

using namespace zor;
using shell::ApplyCallerParameters;
using test::RecordingWorkflow;

namespace {

using Placement = std::tuple<int, int, int, int>;  // left, top, width, height

Placement PlacementOf(const std::string& text) {
    RecordingWorkflow w;
    EXPECT_TRUE(ApplyCallerParameters(text, w));
    const auto& s = w.CallerValues;
    return {s.Left, s.Top, s.Width, s.Height};
}

}  // namespace

TEST(CallerParameters, PlacementAtInitialisation) {
    const std::pair<const char*, Placement> cases[] = {
        {"stray #LEFT 10 #TOP 20", {10, 20, 0, 0}},
        {"#LEFT 5 #WIDTH", {5, 0, 0, 0}},
        {"#LEFT 10 #TOP 1 #LEFT 30", {30, 1, 0, 0}},
        {"#LEFT 12px #TOP px12", {12, 0, 0, 0}},
        {"#left 10 #WIDTH 800 #HEIGHT 600", {0, 0, 800, 600}},
        {"#LEFT\t10 #TOP -4", {0, -4, 0, 0}},
        {"#HANDLE 1234 #WIDTH -1", {0, 0, -1, 0}},
        {"   ", {0, 0, 0, 0}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(PlacementOf(text), expected) << text;
}

TEST(CallerParameters, NameAndPanoramicLoseTheirQuotes) {
    RecordingWorkflow w;
    ASSERT_TRUE(ApplyCallerParameters(
        "#PATIENT_NAME \"Rossi,  Anna\" #PANORAMIC_FILEPATH \"/data/my   pano.tif\"", w));
    EXPECT_EQ(w.CallerValues.PatientName, "Rossi, Anna");
    EXPECT_EQ(w.CallerValues.PanoramicPath, "/data/my pano.tif");
    EXPECT_TRUE(w.CallerValues.CallerPanoramicMode);

    w.Phase = 1;
    w.CallerValues = {};
    EXPECT_TRUE(ApplyCallerParameters("#PANORAMIC_FILEPATH /c.tif #LEFT 99", w));
    EXPECT_TRUE(w.CallerValues.CallerPanoramicMode);
    EXPECT_EQ(w.CallerValues.Left, 0) << "placement is taken only at initialisation";
}

TEST(CallerParameters, ForwardedPanoramicOpensOnlyInPhaseOne) {
    for (int phase : {1, 2, 3, 5}) {
        RecordingWorkflow w;
        w.Phase = phase;
        shell::HandleCopyData(1, "#PANORAMIC_FILEPATH \"/b.tif\"", w);
        EXPECT_EQ(w.CallerValues.PanoramicPath, "/b.tif") << phase;
        EXPECT_EQ(w.CallerValues.CallerPanoramicMode, phase == 1) << phase;
        const std::vector<std::string> opened = {"caller panoramic"};
        EXPECT_EQ(w.Calls, phase == 1 ? opened : std::vector<std::string>{}) << phase;
    }
    RecordingWorkflow w;
    w.Phase = 1;
    shell::HandleCopyData(2, "#PANORAMIC_FILEPATH /b.tif", w);
    EXPECT_TRUE(w.Calls.empty()) << "only records of type 1 carry parameters";
    EXPECT_EQ(w.CallerValues.PanoramicPath, "");
}

TEST(CallerParameters, ResponseFileReachesTheWorkflowOnlyFromTheDriverInPhase3) {
    const test::TempDir dir("zor-answer");
    const std::string good = dir.Write("good", "#CALLER 3 #CODE -51 #MSG ok\r\nsecond\n").string();
    const std::string noCaller = dir.Write("nocaller", "#CODE -51\n").string();
    const std::string wrongCaller = dir.Write("wrong", "#CALLER 30 #CODE -51\n").string();
    const std::string empty = dir.Write("empty", "").string();
    const std::string huge =
        dir.Write("huge", "#CALLER 3 #CODE -51 " + std::string(200000, 'x')).string();
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // refused at once, not waited on
    struct Case {
        int phase;
        std::string text;
        bool result;
        bool answered;
    };
    const Case cases[] = {
        {3, "#FILEPARAM " + good, true, true},
        {2, "#FILEPARAM " + good + " #PATIENT_NAME x", true, false},
        {5, "#FILEPARAM " + good, true, false},
        {3, "#FILEPARAM " + noCaller, false, false},
        {3, "#FILEPARAM " + wrongCaller, false, false},
        {3, "#FILEPARAM " + empty, false, false},
        {3, "#FILEPARAM " + huge, false, false},
        {3, "#FILEPARAM " + fifo, false, false},
        {3, "#FILEPARAM /nonexistent/answer.txt", false, false},
        {3, "#FILEPARAM", true, false},
    };
    for (const auto& c : cases) {
        RecordingWorkflow w;
        w.Phase = c.phase;
        EXPECT_EQ(ApplyCallerParameters(c.text, w), c.result) << c.text;
        EXPECT_EQ(!w.Calls.empty(), c.answered) << c.text;
    }
    RecordingWorkflow w;
    w.Phase = 3;
    w.AnswerResult = false;
    EXPECT_FALSE(ApplyCallerParameters("#FILEPARAM " + good, w)) << "the workflow's result";
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"#CALLER", "3"}, {"#CODE", "-51"}, {"#MSG", "ok"}};
    EXPECT_EQ(w.LastAnswer, expected);
}

TEST(CallerParameters, PlacementStaysOnTheDesktopWhateverTheCallerSays) {
    const QRect primary(0, 0, 1920, 1080);
    const QRect desktop(-1280, 0, 3200, 1080);  // a second screen left of the primary one
    const struct {
        int left, top, width, height;
        QRect expected;
    } cases[] = {
        {100, 50, 800, 600, {100, 50, 800, 600}},
        {0, 0, 0, 0, {0, 0, 1824, 972}},  // 95 % and 90 % of the primary screen
        {-1280, 0, 46000, 46000, {-1280, 0, 3200, 1080}},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX, {-1280, 0, 3200, 1080}},
        {INT_MAX, INT_MIN, 640, 480, {1280, 0, 640, 480}},
        {INT_MIN, 900, 640, 480, {-1280, 600, 640, 480}},
    };
    for (const auto& c : cases) {
        acquisition::CallerState caller;
        caller.Left = c.left, caller.Top = c.top, caller.Width = c.width, caller.Height = c.height;
        EXPECT_EQ(shell::CallerPlacement(caller, primary, desktop), c.expected)
            << c.left << "," << c.top << " " << c.width << "x" << c.height;
    }
}
