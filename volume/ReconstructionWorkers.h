#pragma once
// The two reconstruction workers: background preparation of the projections and the
// reconstruction of "Volume.vol", with their progress and result reported through ports.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "zor_r3d/R3D.h"
#include "zor_vol/VolumeClass.h"

namespace zor::volume {

/// Where the workers report; every call may come from a worker thread (or from one of the
/// library's own threads) and must only queue work for the user-interface thread.
struct WorkerPorts {
    std::function<void(bool success)> PostResult;  ///< end of reconstruction; true = volume written
    std::function<void(bool show)> ShowProgress;   ///< show (true) or hide the progress window
    std::function<void(int percent)> SetProgress;  ///< progress bar position, 0..99
};

/// The reconstruction library's calls, replaceable by tests. An empty member means the real
/// R3D function of the same role.
struct ReconstructionLibrary {
    std::function<void*()> Init;
    std::function<bool(void*, VolumeClass*, const char*, const char*, R3DProgressCallback, void*,
                       double, bool)>
        Prepare;
    std::function<bool(void*, VolumeClass*, const char*, R3DProgressCallback, void*)> Reconstruct;
    std::function<void(void*)> Release;
};

/// Runs the preparation and the reconstruction on their own threads. Owned and driven by the
/// user-interface thread; every public function must be called from that thread. The workers
/// use the volume and the reconstruction handle one at a time, and no worker outlives the
/// object. The owner must not use the volume while a worker runs.
class ReconstructionWorkers {
public:
    /// `installDir` as stored (conventionally ending with '/'): the work folder is
    /// installDir + "work/", which holds "ConeBeamSent.tra", the projections and "Volume.vol".
    ReconstructionWorkers(std::string installDir, VolumeClass& volume, WorkerPorts ports,
                          ReconstructionLibrary library = {});
    /// Stops the reconstruction, then the preparation, and releases the handle.
    ~ReconstructionWorkers();
    ReconstructionWorkers(const ReconstructionWorkers&) = delete;
    ReconstructionWorkers& operator=(const ReconstructionWorkers&) = delete;

    /// Stops a running preparation, then prepares the projections in the background.
    void StartPreparation();
    /// Cancels the preparation and waits for its thread without limit; forgets it.
    void StopPreparation();
    /// Cancels and waits for a running reconstruction; when `start` is true, starts a new one
    /// that reuses the current preparation (waiting for it) or prepares on its own thread
    /// first. Ends with PostResult.
    void StartReconstruction(bool start);

    /// Whether a thread of that kind exists (started and not yet stopped; it may have ended).
    bool PreparationRunning() const { return m_PrepareThread.joinable(); }
    bool ReconstructionRunning() const { return m_ReconstructThread.joinable(); }

    struct Preparation;  // one preparation's outcome, shared with a waiting reconstruction
    struct Progress;     // what a progress callback may touch: its cancel flag and the ports

private:
    void EnsureHandle();
    void PrepareMain(std::shared_ptr<Preparation> preparation);
    void ReconstructMain(std::shared_ptr<Preparation> waitOn, uint64_t ownId);
    /// Releases the volume and prepares; the caller holds the library.
    bool Prepare(Progress& progress, uint64_t id);
    /// Waits for the library lock; false (without the lock) once `cancel` is set.
    bool AcquireLibrary(const std::atomic<bool>& cancel);
    void ReleaseLibrary();
    void WakeWaiters();

    const std::string m_WorkFolder;
    VolumeClass& m_Volume;
    const WorkerPorts m_Ports;
    ReconstructionLibrary m_Library;
    void* m_Handle = nullptr;

    std::thread m_PrepareThread;
    std::shared_ptr<Preparation> m_Preparation;  // of m_PrepareThread
    std::atomic<bool> m_PrepareCancel{false};
    std::thread m_ReconstructThread;
    std::shared_ptr<Preparation> m_ReconstructWaitsOn;  // preparation handed to the reconstruction
    std::atomic<bool> m_ReconstructCancel{false};

    // The handle and the volume belong to one library operation at a time.
    std::mutex m_LibraryMutex;
    std::condition_variable m_LibraryFree;
    bool m_LibraryBusy = false;
    uint64_t m_PreparedBy = 0;  // id of the last preparation run on the handle
    uint64_t m_NextId = 1;      // user-interface thread only
};

}  // namespace zor::volume
