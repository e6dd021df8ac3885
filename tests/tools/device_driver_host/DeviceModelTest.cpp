// The simulated device through its status queries: exams, faults, automatic device, waits.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "device_driver_host/DeviceModel.h"

using namespace zor::device;

namespace {

void Do(DeviceModel& model, const std::string& action) {
    const ActionResult result = model.Act(action);
    ASSERT_TRUE(result.Accepted) << action << ": " << result.Text;
}

}  // namespace

TEST(DeviceModel, PanoramicExamSequenceReachesExposureAndAsksForResetAfterIt) {
    DeviceModel model;
    EXPECT_EQ(model.Answer(kQueryState), kNeedsReset);
    EXPECT_FALSE(model.Act("position").Accepted);  // reset comes first
    EXPECT_FALSE(model.Act("xray").Accepted);
    Do(model, "reset");
    EXPECT_EQ(model.Answer(kQueryState), kNeedsPatient);
    Do(model, "position");
    EXPECT_EQ(model.Answer(kQueryState), kPatientPositioned);
    EXPECT_EQ(model.Answer(kQuerySizeClass), kSizeClassTomosynthesis);
    Do(model, "exam pano");
    EXPECT_EQ(model.Answer(kQueryState), kPanoramicReady);
    EXPECT_EQ(model.Answer(kQuerySizeClass), kSizeClassPanoramic);
    const ActionResult xray = model.Act("xray");
    ASSERT_TRUE(xray.Accepted);
    EXPECT_TRUE(xray.StartsPanoramic);
    ASSERT_TRUE(model.BeginExposure(Exam::Panoramic));
    EXPECT_EQ(model.Answer(kQueryState), kAcquiring);
    EXPECT_EQ(model.Answer(kQueryAcquiring), 1);
    EXPECT_FALSE(model.Act("reset").Accepted);  // not while exposing
    EXPECT_FALSE(model.BeginExposure(Exam::Panoramic));
    model.EndExposure();
    EXPECT_EQ(model.Answer(kQueryState), kNeedsReset);
    EXPECT_EQ(model.Answer(kQueryAcquiring), 0);
}

TEST(DeviceModel, FaultsOverrideTheStateAndBlockTheXRayUntilCleared) {
    DeviceModel model;
    Do(model, "reset");
    Do(model, "position");
    Do(model, "exam pano");
    // Applied in turn, each state fault hides those before it.
    const std::pair<const char*, int32_t> faults[] = {
        {"dummy", kDummyRun}, {"alarm", kAlarm}, {"service", kService},
        {"update", kUpdate},  {"setup", kSetup}, {"disconnect", kNotConnected}};
    for (const auto& [fault, state] : faults) {
        Do(model, fault);
        EXPECT_EQ(model.Answer(kQueryState), state) << fault;
        EXPECT_FALSE(model.Act("xray").Accepted) << fault;
    }
    // The other faults, each alone; "patientsize" adds to "size".
    const std::tuple<const char*, int32_t, int32_t> others[] = {
        {"error 17", kQueryErrorNumber, 17},
        {"nolock", kQueryLock, 0},
        {"size", kQuerySizeClass, kSizeClassIncompatible},
        {"patientsize", kQuerySizeClass, kSizeClassIncompatiblePatient}};
    for (const auto& [fault, query, value] : others) {
        Do(model, "clear");
        if (std::string(fault) == "patientsize")
            Do(model, "size");
        Do(model, fault);
        EXPECT_EQ(model.Answer(query), value) << fault;
        EXPECT_FALSE(model.Act("xray").Accepted) << fault;
    }
    EXPECT_EQ(model.Answer(kQueryPatientSizeIncompatible), 1);
    Do(model, "clear");
    EXPECT_EQ(model.Answer(kQueryState), kPanoramicReady);
    EXPECT_EQ(model.Answer(kQueryLock), 1);
    EXPECT_TRUE(model.Act("xray").Accepted);
}

TEST(DeviceModel, MalformedActionsAreRefusedAndChangeNothing) {
    DeviceModel model;
    for (const char* bad :
         {"", "frobnicate", "error -3", "kv 0", "yaxis 2", "exam dental", "reset now", "abort"})
        EXPECT_FALSE(model.Act(bad).Accepted) << bad;
    EXPECT_EQ(model.Answer(kQueryState), kNeedsReset);
    EXPECT_EQ(model.View().Faults, "");
    Do(model, "kv 85");  // one representative of the settings
    EXPECT_EQ(model.Answer(kQueryKv), 85);
    EXPECT_EQ(model.Answer(999), 0);
}

TEST(DeviceModel, ProjectionJobWaitsForTheButtonOrAbortAndAutoPressesItself) {
    DeviceModel model;
    model.SetProjectionJob(true);
    EXPECT_EQ(model.Answer(kQueryState), kNeedsReset);  // the operator still has to prepare
    EXPECT_EQ(model.WaitForExposure(10), -1);
    EXPECT_FALSE(model.Act("exam pano").Accepted);  // the job holds the tomosynthesis exam
    Do(model, "reset");
    Do(model, "position");
    EXPECT_EQ(model.Answer(kQueryState), kTomosynthesisReady);
    std::thread presser([&model] { model.Act("xray"); });
    EXPECT_EQ(model.WaitForExposure(5000), 1);
    presser.join();
    EXPECT_TRUE(model.BeginExposure(Exam::Tomosynthesis));
    model.EndExposure();
    model.SetProjectionJob(false);

    model.SetProjectionJob(true);
    std::thread aborter([&model] { model.Act("abort"); });
    EXPECT_EQ(model.WaitForExposure(5000), 0);
    aborter.join();
    EXPECT_TRUE(model.AbortRequested());
    model.SetProjectionJob(false);
    EXPECT_FALSE(model.AbortRequested());

    Do(model, "auto on");  // positions by itself; the aborted job's exam stays selected
    EXPECT_EQ(model.Answer(kQueryState), kTomosynthesisReady);
    model.SetProjectionJob(true);
    EXPECT_EQ(model.WaitForExposure(10), 1);
    Do(model, "alarm");  // even the automatic device does not expose in alarm
    EXPECT_EQ(model.WaitForExposure(10), -1);
}
