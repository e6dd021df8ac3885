#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "acquisition/Workflow.h"
#include "platform/Parser.h"
#include "shell/CallerParameters.h"

using namespace zor;
using shell::ApplyCallerParameters;
using shell::CallerState;

namespace {

/// Records what the caller-parameter channel hands to the workflow.
class RecordingWorkflow : public acquisition::IWorkflow {
public:
    int32_t phase = 0;
    bool answerResult = true;
    int answers = 0;
    std::vector<std::pair<std::string, std::string>> lastAnswer;

    int32_t WorkflowPhase() const override { return phase; }
    bool EnterWorkflowStep(int, bool, bool) override { return true; }
    bool ProcessDriverAnswer(const platform::CParser& answer) override {
        ++answers;
        lastAnswer = answer.Pairs();
        return answerResult;
    }
    void OpenCallerPanoramic() override {}
};

struct Placement {
    int left, top, width, height;
    bool operator==(const Placement&) const = default;
};

Placement PlacementOf(const std::string& text) {
    RecordingWorkflow w;
    CallerState s;
    EXPECT_TRUE(ApplyCallerParameters(text, s, w));
    return {s.Left, s.Top, s.Width, s.Height};
}

std::string WriteAnswer(const std::string& name, const std::string& content) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("zor-answer-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
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
    CallerState s;
    w.phase = 0;
    ASSERT_TRUE(ApplyCallerParameters(
        "#PATIENT_NAME \"Rossi,  Anna\" #PANORAMIC_FILEPATH \"/data/my   pano.tif\"", s, w));
    EXPECT_EQ(s.PatientName, "Rossi, Anna");
    EXPECT_EQ(s.PanoramicPath, "/data/my pano.tif");
    EXPECT_TRUE(s.CallerPanoramicMode);

    // Later phases store the path but leave the mode alone.
    CallerState later;
    for (int phase : {2, 3, 5}) {
        w.phase = phase;
        EXPECT_TRUE(ApplyCallerParameters("#PANORAMIC_FILEPATH /b.tif", later, w));
        EXPECT_EQ(later.PanoramicPath, "/b.tif");
        EXPECT_FALSE(later.CallerPanoramicMode) << phase;
    }
    w.phase = 1;
    EXPECT_TRUE(ApplyCallerParameters("#PANORAMIC_FILEPATH /c.tif #LEFT 99", later, w));
    EXPECT_TRUE(later.CallerPanoramicMode);
    EXPECT_EQ(later.Left, 0) << "placement is taken only at initialisation";
}

TEST(CallerParameters, ResponseFileReachesTheWorkflowOnlyFromTheDriverInPhase3) {
    const std::string good = WriteAnswer("good", "#CALLER 3 #CODE -51 #MSG ok\r\nsecond line\n");
    const std::string noCaller = WriteAnswer("nocaller", "#CODE -51\n");
    const std::string wrongCaller = WriteAnswer("wrong", "#CALLER 30 #CODE -51\n");
    const std::string empty = WriteAnswer("empty", "");
    const std::string huge = WriteAnswer("huge", "#CALLER 3 #CODE -51 " + std::string(200000, 'x'));
    struct Case {
        int phase;
        std::string text;
        bool result;
        int answers;
    };
    const Case cases[] = {
        {3, "#FILEPARAM " + good, true, 1},
        {2, "#FILEPARAM " + good + " #PATIENT_NAME x", true, 0},
        {5, "#FILEPARAM " + good, true, 0},
        {3, "#FILEPARAM " + noCaller, false, 0},
        {3, "#FILEPARAM " + wrongCaller, false, 0},
        {3, "#FILEPARAM " + empty, false, 0},
        {3, "#FILEPARAM " + huge, false, 0},
        {3, "#FILEPARAM /nonexistent/answer.txt", false, 0},
        {3, "#FILEPARAM", true, 0},
    };
    for (const auto& c : cases) {
        RecordingWorkflow w;
        w.phase = c.phase;
        CallerState s;
        EXPECT_EQ(ApplyCallerParameters(c.text, s, w), c.result) << c.text;
        EXPECT_EQ(w.answers, c.answers) << c.text;
    }
    RecordingWorkflow w;
    w.phase = 3;
    w.answerResult = false;
    CallerState s;
    EXPECT_FALSE(ApplyCallerParameters("#FILEPARAM " + good, s, w)) << "the workflow's result";
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"#CALLER", "3"}, {"#CODE", "-51"}, {"#MSG", "ok"}};
    EXPECT_EQ(w.lastAnswer, expected);
    for (const auto& f : {good, noCaller, wrongCaller, empty})
        std::filesystem::remove(f);
}
