#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "phantom/PhantomImaging.h"
#include "support/TempDir.h"
#include "volume/ReconstructionWorkers.h"
#include "zor_r3d/Trajectory.h"

using zor::volume::ReconstructionWorkers;
using Events = std::vector<std::string>;

namespace {

/// A fake reconstruction library and a recorder of the ports, which may be called from any
/// thread; `workers` goes first, so read what was recorded once it is reset. The library reports
/// `steps` fractions and succeeds, or stops at the first -1; while its hold flag is set it keeps
/// reporting until cancelled or released.
struct Rig {
    std::mutex mutex;
    std::condition_variable cv;
    Events events, calls;  // calls: the library's arguments, from one thread at a time
    std::vector<int> percents;
    size_t posts = 0;
    int handle = 0;
    std::atomic<int> inits{0}, releases{0}, prepares{0}, reconstructs{0}, cancelsSeen{0};
    std::atomic<int> inside{0}, overlaps{0};
    std::atomic<bool> prepareFails{false}, holdPrepare{false}, holdReconstruct{false};
    std::atomic<bool> volumeWasReleased{true};
    std::vector<double> fractions{0.0, 0.5};
    int steps = 20;
    VolumeClass volume;
    std::optional<ReconstructionWorkers> workers;

    ReconstructionWorkers& Make(const std::string& installDir = "/i/", bool fake = true) {
        zor::volume::WorkerPorts ports{[this](bool ok) { Add(ok ? "post 1" : "post 0"); },
                                       [this](bool show) { Add(show ? "show" : "hide"); },
                                       [this](int percent) { Add(nullptr, percent); }};
        return workers.emplace(installDir, volume, ports,
                               fake ? Calls() : zor::volume::ReconstructionLibrary{});
    }
    void Add(const char* event, int percent = 0) {
        const std::lock_guard lock(mutex);
        if (event == nullptr)
            percents.push_back(percent);
        else
            events.emplace_back(event), posts += event[0] == 'p';
        cv.notify_all();
    }
    /// Waits for `count` results (or any events); false after two minutes: a hang.
    bool Wait(size_t count, bool onlyPosts = true) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(120),
                           [&] { return (onlyPosts ? posts : events.size()) >= count; });
    }
    /// Waits for the result, then ends the workers; false on a hang.
    bool Finish() {
        const bool posted = Wait(1);
        workers.reset();
        return posted;
    }
    bool Run(R3DProgressCallback callback, void* context, const std::atomic<bool>& hold) {
        overlaps += inside.fetch_add(1) != 0;
        bool ok = true;
        for (int i = 0; ok && (i < steps || hold.load()); ++i)
            ok = callback(fractions[static_cast<size_t>(i) % fractions.size()], context) != -1;
        cancelsSeen += !ok;
        inside.fetch_sub(1);
        return ok;
    }
    zor::volume::ReconstructionLibrary Calls() {
        return {
            [this] { return ++inits, static_cast<void*>(&handle); },
            [this](void* h, VolumeClass* v, const char* folder, const char* name,
                   R3DProgressCallback cb, void* ctx, double window, bool truncation) {
                ++prepares;
                volumeWasReleased = volumeWasReleased && v->mIsNull();
                calls.push_back("prepare " + std::string(folder) + name + " " +
                                std::to_string(window) + (truncation ? " t" : " f") +
                                (h == &handle ? "" : " bad handle"));
                return Run(cb, ctx, holdPrepare) && !prepareFails.load();
            },
            [this](void* h, VolumeClass*, const char* output, R3DProgressCallback cb, void* ctx) {
                ++reconstructs;
                calls.push_back("reconstruct " + std::string(output) +
                                (h == &handle ? "" : " bad"));
                return Run(cb, ctx, holdReconstruct);
            },
            [this](void* h) { releases += h == &handle ? 1 : 100; }};
    }
};

TEST(ReconstructionWorkers, ReconstructionWithoutPreparationPreparesFirstThenReconstructs) {
    Rig r;
    r.fractions = {0.0, 0.014, 0.5, 0.999, 1.0, -0.2};
    r.steps = 6;
    ASSERT_TRUE(r.volume.mAttach({.Nx = 1, .Ny = 1, .Nz = 2}, {7, 7}));
    r.Make("/opt/zor/").StartReconstruction(true);
    ASSERT_TRUE(r.Finish());
    EXPECT_EQ(r.events, (Events{"show", "hide", "show", "hide", "post 1"}));
    EXPECT_EQ(r.calls, (Events{"prepare /opt/zor/work/ConeBeamSent.tra 0.350000 t",
                               "reconstruct /opt/zor/work/Volume.vol"}));
    EXPECT_TRUE(r.volumeWasReleased);
    EXPECT_EQ(r.inits + r.releases, 2);
    // The bar runs 0..99: the floor of the percentage, 1.0 held at 99, nonsense at 0.
    EXPECT_EQ(r.percents, (std::vector<int>{0, 1, 50, 99, 99, 0, 0, 1, 50, 99, 99, 0}));
}

TEST(ReconstructionWorkers, FailedPreparationReportsFailureWithoutReconstructing) {
    for (const bool background : {false, true}) {
        SCOPED_TRACE(background ? "background preparation" : "own preparation");
        Rig r;
        r.prepareFails = true;
        ReconstructionWorkers& workers = r.Make();
        if (background) {
            workers.StartPreparation();
            ASSERT_TRUE(r.Wait(1, false));  // the preparation has ended (its hide)
        }
        workers.StartReconstruction(true);
        ASSERT_TRUE(r.Finish());
        EXPECT_EQ(std::pair(r.prepares.load(), r.reconstructs.load()), std::pair(1, 0));
        EXPECT_EQ(Events(r.events.end() - 3, r.events.end()), (Events{"show", "hide", "post 0"}));
    }
}

TEST(ReconstructionWorkers, ReconstructionWaitsForTheBackgroundPreparationAndReusesIt) {
    Rig r;
    r.holdPrepare = true;
    ReconstructionWorkers& workers = r.Make();
    workers.StartPreparation();
    workers.StartReconstruction(true);
    r.holdPrepare = false;
    ASSERT_TRUE(r.Wait(1));
    // Stopping threads that have ended forgets them without cancelling anything.
    workers.StopPreparation();
    workers.StartReconstruction(false);
    EXPECT_FALSE(workers.PreparationRunning() || workers.ReconstructionRunning());
    EXPECT_EQ(r.events.back(), "post 1");
    EXPECT_EQ(r.prepares + r.reconstructs, 2);
    EXPECT_EQ(r.cancelsSeen + r.overlaps, 0);
}

TEST(ReconstructionWorkers, CancelAndDestructionReachTheLibraryAndEndInOneFailure) {
    using Stop = void (*)(Rig&);
    const Stop stopReconstruction = [](Rig& r) { r.workers->StartReconstruction(false); };
    const std::tuple<const char*, bool, bool, Stop, int, int> cases[] = {
        // name, hold the preparation, start it in the background, stop, reconstructs, cancels
        {"reconstruction stopped while reconstructing", false, false, stopReconstruction, 1, 1},
        {"reconstruction stopped while preparing", true, false, stopReconstruction, 0, 1},
        // The preparation goes on: only the wait for it ends.
        {"stopped while waiting for the preparation", true, true, stopReconstruction, 0, 0},
        {"preparation stopped", true, true, [](Rig& r) { r.workers->StopPreparation(); }, 0, 1},
        {"preparation replaced", true, true, [](Rig& r) { r.workers->StartPreparation(); }, 0, 1},
        {"destroyed while waiting", true, true, [](Rig& r) { r.workers.reset(); }, 0, 1},
    };
    for (const auto& [name, holdPrepare, background, stop, reconstructs, cancelsSeen] : cases) {
        SCOPED_TRACE(name);
        Rig r;
        r.holdPrepare = holdPrepare;
        r.holdReconstruct = true;
        if (background)
            r.Make().StartPreparation();
        (r.workers ? *r.workers : r.Make()).StartReconstruction(true);
        while (r.prepares + r.reconstructs < 1 + reconstructs)
            std::this_thread::yield();
        stop(r);
        ASSERT_TRUE(r.Wait(1));
        EXPECT_EQ(std::pair(r.reconstructs.load(), r.cancelsSeen.load()),
                  std::pair(reconstructs, cancelsSeen));
        r.workers.reset();
        EXPECT_EQ(std::tuple(r.inside.load(), r.releases.load(), r.posts),
                  std::tuple(0, 1, size_t{1}));
        EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "post 0"), 1);
    }
}

TEST(ReconstructionWorkers, RepeatedStartsAndCancelsNeitherOverlapNorHang) {
    Rig r;
    r.steps = 50;
    ReconstructionWorkers& workers = r.Make();
    size_t started = 0;
    for (int i = 0; i < 1000; ++i, ++started) {
        if (i % 2 == 1)
            workers.StartPreparation();
        workers.StartReconstruction(true);
        if (i % 3 == 0) {
            workers.StartPreparation();
            workers.StopPreparation();
        } else if (i % 3 == 1) {
            workers.StartReconstruction(true);
            ++started;
        }
    }
    r.workers.reset();
    EXPECT_EQ(r.posts, started);
    EXPECT_EQ(r.overlaps, 0);
    EXPECT_EQ(r.inits + r.releases, 2);
}

TEST(ReconstructionWorkers, RealLibraryReconstructsThePhantomProjections) {
    const zor::test::TempDir install;
    const std::string work = install.Slash() + "work/";
    std::filesystem::create_directories(work);
    zor_r3d::Trajectory t{.Order = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, .CentreY = -40.0};
    t.AxisAngleRad = M_PI, t.DetCols = 64, t.DetRows = 30, t.Nx = 8, t.Ny = 24, t.Nz = 20;
    t.Dy = t.Dz = t.PitchU = t.PitchV = 0.3;
    ASSERT_TRUE(zor_r3d::WriteTrajectoryFiles(work, t));
    std::filesystem::rename(work + "ConeBeam.tra", work + "ConeBeamSent.tra");
    std::string error;
    ASSERT_TRUE(zor::phantom::ProjectTrajectoryFile(zor::phantom::PhantomKind::Adult,
                                                    work + "ConeBeamSent.tra", work,
                                                    zor::phantom::Exposure{}, &error))
        << error;
    Rig r;
    ReconstructionWorkers& workers = r.Make(install.Slash(), false);
    workers.StartPreparation();
    workers.StartReconstruction(true);
    ASSERT_TRUE(r.Finish());
    EXPECT_EQ(std::pair(r.events.back(), r.percents.back()), std::pair(std::string("post 1"), 99));
    ASSERT_FALSE(r.volume.mIsNull());
    EXPECT_EQ(r.volume.m_DimX * r.volume.m_DimY * r.volume.m_DimZ, 8 * 24 * 20);
    VolumeClass loaded;
    EXPECT_EQ(loaded.mInit((work + "Volume.vol").c_str()), VolumeClass::kInitOk);
}

}  // namespace
