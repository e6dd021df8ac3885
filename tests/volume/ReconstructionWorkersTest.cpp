#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "phantom/PhantomImaging.h"
#include "support/TempDir.h"
#include "volume/ReconstructionWorkers.h"
#include "zor_r3d/Trajectory.h"

using zor::volume::ReconstructionLibrary;
using zor::volume::ReconstructionWorkers;
using zor::volume::WorkerPorts;

namespace {

constexpr auto kPatience = std::chrono::seconds(120);  // a hang, not a slow machine

/// Records what the workers report, from any thread; read the vectors once the workers are gone.
struct PortRecorder {
    WorkerPorts Ports() {
        return {[this](bool ok) { Add(ok ? "post 1" : "post 0"); },
                [this](bool show) { Add(show ? "show" : "hide"); },
                [this](int percent) { Add(nullptr, percent); }};
    }
    void Add(const char* event, int percent = 0) {
        {
            const std::lock_guard lock(mutex);
            if (event != nullptr) {
                events.emplace_back(event);
            } else {
                percents.push_back(percent);
            }
            posts += event != nullptr && event[0] == 'p';
        }
        cv.notify_all();
    }
    /// Waits until `count` events have arrived (`posts`: results only); false after kPatience.
    bool Wait(size_t count, bool onlyPosts = true) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, kPatience,
                           [&] { return (onlyPosts ? posts : events.size()) >= count; });
    }
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::string> events;
    std::vector<int> percents;
    size_t posts = 0;
};

/// A library that reports `steps` fractions and succeeds, or stops at the first -1; while its
/// hold flag is set it keeps reporting until cancelled or released. Counts overlapping calls.
struct FakeLibrary {
    int handle = 0;
    std::atomic<int> inits{0}, releases{0}, prepares{0}, reconstructs{0}, cancelsSeen{0};
    std::atomic<int> inside{0}, overlaps{0};
    std::atomic<bool> prepareFails{false}, holdPrepare{false}, holdReconstruct{false};
    std::atomic<bool> volumeWasReleased{true};
    std::vector<std::string> calls;  // arguments, from one thread at a time
    std::vector<double> fractions{0.0, 0.5};
    int steps = 20;

    bool Run(R3DProgressCallback callback, void* context, const std::atomic<bool>& hold) {
        overlaps += inside.fetch_add(1) != 0;
        bool ok = true;
        for (int i = 0; ok && (i < steps || hold.load()); ++i) {
            ok = callback(fractions[static_cast<size_t>(i) % fractions.size()], context) != -1;
        }
        cancelsSeen += !ok;
        inside.fetch_sub(1);
        return ok;
    }
    ReconstructionLibrary Calls() {
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

using Events = std::vector<std::string>;

TEST(ReconstructionWorkers, ReconstructionWithoutPreparationPreparesFirstThenReconstructs) {
    FakeLibrary lib;
    lib.fractions = {0.0, 0.014, 0.5, 0.999, 1.0, -0.2};
    lib.steps = 6;
    PortRecorder ports;
    VolumeClass volume;
    ASSERT_TRUE(volume.mAttach({.Nx = 1, .Ny = 1, .Nz = 2}, {7, 7}));
    {
        ReconstructionWorkers workers("/opt/zor/", volume, ports.Ports(), lib.Calls());
        workers.StartReconstruction(true);
        ASSERT_TRUE(ports.Wait(1));
    }
    EXPECT_EQ(ports.events, (Events{"show", "hide", "show", "hide", "post 1"}));
    EXPECT_EQ(lib.calls, (Events{"prepare /opt/zor/work/ConeBeamSent.tra 0.350000 t",
                                 "reconstruct /opt/zor/work/Volume.vol"}));
    EXPECT_TRUE(lib.volumeWasReleased);
    EXPECT_EQ(lib.inits + lib.releases, 2);
    // The bar runs 0..99: the floor of the percentage, 1.0 held at 99, nonsense at 0.
    EXPECT_EQ(ports.percents, (std::vector<int>{0, 1, 50, 99, 99, 0, 0, 1, 50, 99, 99, 0}));
}

TEST(ReconstructionWorkers, FailedPreparationReportsFailureWithoutReconstructing) {
    for (const bool background : {false, true}) {
        SCOPED_TRACE(background ? "background preparation" : "own preparation");
        FakeLibrary lib;
        lib.prepareFails = true;
        PortRecorder ports;
        VolumeClass volume;
        {
            ReconstructionWorkers workers("/i/", volume, ports.Ports(), lib.Calls());
            if (background) {
                workers.StartPreparation();
                ASSERT_TRUE(ports.Wait(1, false));  // the preparation has ended (its hide)
            }
            workers.StartReconstruction(true);
            ASSERT_TRUE(ports.Wait(1));
        }
        EXPECT_EQ(lib.prepares, 1);
        EXPECT_EQ(lib.reconstructs, 0);
        EXPECT_EQ(Events(ports.events.end() - 3, ports.events.end()),
                  (Events{"show", "hide", "post 0"}));
    }
}

TEST(ReconstructionWorkers, ReconstructionWaitsForTheBackgroundPreparationAndReusesIt) {
    FakeLibrary lib;
    lib.holdPrepare = true;
    PortRecorder ports;
    VolumeClass volume;
    ReconstructionWorkers workers("/i/", volume, ports.Ports(), lib.Calls());
    workers.StartPreparation();
    workers.StartReconstruction(true);
    lib.holdPrepare = false;
    ASSERT_TRUE(ports.Wait(1));
    // Stopping threads that have ended forgets them without cancelling anything.
    workers.StopPreparation();
    workers.StartReconstruction(false);
    EXPECT_FALSE(workers.PreparationRunning() || workers.ReconstructionRunning());
    EXPECT_EQ(ports.events.back(), "post 1");
    EXPECT_EQ(lib.prepares + lib.reconstructs, 2);
    EXPECT_EQ(lib.cancelsSeen + lib.overlaps, 0);
}

TEST(ReconstructionWorkers, CancelReachesTheLibraryAndEndsInFailure) {
    using Stop = void (*)(ReconstructionWorkers&);
    const Stop stopReconstruction = [](ReconstructionWorkers& w) { w.StartReconstruction(false); };
    const struct {
        const char* name;
        bool holdPrepare, background;
        Stop stop;
        int reconstructs, cancelsSeen;
    } cases[] = {
        {"reconstruction stopped while reconstructing", false, false, stopReconstruction, 1, 1},
        {"reconstruction stopped while preparing on its own", true, false, stopReconstruction, 0,
         1},
        // The preparation goes on: only the wait for it ends.
        {"reconstruction stopped while waiting for the preparation", true, true, stopReconstruction,
         0, 0},
        {"awaited preparation stopped", true, true, [](auto& w) { w.StopPreparation(); }, 0, 1},
        {"awaited preparation replaced", true, true, [](auto& w) { w.StartPreparation(); }, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLibrary lib;
        lib.holdPrepare = c.holdPrepare;
        lib.holdReconstruct = true;
        PortRecorder ports;
        VolumeClass volume;
        ReconstructionWorkers workers("/i/", volume, ports.Ports(), lib.Calls());
        if (c.background) {
            workers.StartPreparation();
        }
        workers.StartReconstruction(true);
        while (lib.prepares + lib.reconstructs < 1 + c.reconstructs) {
            std::this_thread::yield();
        }
        c.stop(workers);
        ASSERT_TRUE(ports.Wait(1));
        EXPECT_EQ(lib.reconstructs, c.reconstructs);
        EXPECT_EQ(lib.cancelsSeen, c.cancelsSeen);
        const std::lock_guard lock(ports.mutex);
        EXPECT_EQ(ports.events.back(), "post 0");
    }
}

TEST(ReconstructionWorkers, RepeatedStartsAndCancelsNeitherOverlapNorHang) {
    FakeLibrary lib;
    lib.steps = 50;
    PortRecorder ports;
    VolumeClass volume;
    size_t started = 0;
    {
        ReconstructionWorkers workers("/i/", volume, ports.Ports(), lib.Calls());
        for (int i = 0; i < 1000; ++i, ++started) {
            if (i % 2 == 1) {
                workers.StartPreparation();
            }
            workers.StartReconstruction(true);
            if (i % 3 == 0) {
                workers.StartPreparation();
                workers.StopPreparation();
            } else if (i % 3 == 1) {
                workers.StartReconstruction(true);
                ++started;
            }
        }
    }
    EXPECT_EQ(ports.posts, started);
    EXPECT_EQ(lib.overlaps, 0);
    EXPECT_EQ(lib.inits + lib.releases, 2);
}

TEST(ReconstructionWorkers, DestructionWhileRunningCancelsAndJoins) {
    FakeLibrary lib;
    lib.holdPrepare = lib.holdReconstruct = true;
    PortRecorder ports;
    VolumeClass volume;
    {
        ReconstructionWorkers workers("/i/", volume, ports.Ports(), lib.Calls());
        workers.StartPreparation();
        while (lib.prepares < 1) {
            std::this_thread::yield();
        }
        workers.StartReconstruction(true);
    }
    EXPECT_EQ(lib.inside, 0);
    EXPECT_EQ(std::count(ports.events.begin(), ports.events.end(), "post 0"), 1);
    EXPECT_EQ(ports.posts, 1u);
    EXPECT_EQ(lib.releases, 1);
}

TEST(ReconstructionWorkers, RealLibraryReconstructsThePhantomProjections) {
    const zor::test::TempDir install;
    const std::string work = install.Slash() + "work/";
    std::filesystem::create_directories(work);
    zor_r3d::Trajectory t{.CentreY = -40.0, .AxisAngleRad = M_PI, .DetCols = 64, .DetRows = 30};
    t.Order = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    t.Nx = 8;
    t.Ny = 24;
    t.Nz = 20;
    t.Dy = t.Dz = t.PitchU = t.PitchV = 0.3;
    ASSERT_TRUE(zor_r3d::WriteTrajectoryFiles(work, t));
    std::filesystem::rename(work + "ConeBeam.tra", work + "ConeBeamSent.tra");
    std::string error;
    ASSERT_TRUE(zor::phantom::ProjectTrajectoryFile(zor::phantom::PhantomKind::Adult,
                                                    work + "ConeBeamSent.tra", work,
                                                    zor::phantom::Exposure{}, &error))
        << error;
    PortRecorder ports;
    VolumeClass volume;
    {
        ReconstructionWorkers workers(install.Slash(), volume, ports.Ports());
        workers.StartPreparation();
        workers.StartReconstruction(true);
        ASSERT_TRUE(ports.Wait(1));
    }
    EXPECT_EQ(ports.events.back(), "post 1");
    EXPECT_EQ(ports.percents.back(), 99);
    ASSERT_FALSE(volume.mIsNull());
    EXPECT_EQ(volume.m_DimX * volume.m_DimY * volume.m_DimZ, 8 * 24 * 20);
    VolumeClass loaded;
    EXPECT_EQ(loaded.mInit((work + "Volume.vol").c_str()), VolumeClass::kInitOk);
}

}  // namespace
