#include "volume/ReconstructionWorkers.h"

#include <cmath>
#include <utility>

namespace zor::volume {

namespace {

constexpr char kWorkFolder[] = "work/";
constexpr char kTrajectoryName[] = "ConeBeamSent.tra";
constexpr char kVolumeName[] = "Volume.vol";
constexpr double kFilterWindow = 0.35;
constexpr bool kTruncationCorrection = true;

ReconstructionLibrary WithDefaults(ReconstructionLibrary library) {
    if (!library.Init) {
        library.Init = &R3DInit_2012;
    }
    if (!library.Prepare) {
        library.Prepare = &R3DPrepareVolume_2012;
    }
    if (!library.Reconstruct) {
        library.Reconstruct = &R3DReconstructVolume_2012;
    }
    if (!library.Release) {
        library.Release = &R3DRelease_2012;
    }
    return library;
}

}  // namespace

/// The outcome of one preparation. The reconstruction that reuses it keeps it alive through its
/// own reference, so the preparation thread may be stopped and forgotten while it waits.
struct ReconstructionWorkers::Preparation {
    explicit Preparation(uint64_t id) : Id(id) {}

    void Finish(bool success) {
        {
            const std::lock_guard lock(M);
            Done = true;
            Success = success;
        }
        Cv.notify_all();
    }
    /// Waits until the preparation has ended or `cancel` is set; true when it succeeded.
    bool Wait(const std::atomic<bool>& cancel) {
        std::unique_lock lock(M);
        Cv.wait(lock, [&] { return Done || cancel.load(); });
        return Done && Success;
    }
    /// Makes a waiter look at its cancel flag again.
    void Wake() {
        { const std::lock_guard lock(M); }
        Cv.notify_all();
    }

    const uint64_t Id;
    std::mutex M;
    std::condition_variable Cv;
    bool Done = false;
    bool Success = false;
};

/// What the progress callback touches; it may run on the library's own threads.
struct ReconstructionWorkers::Progress {
    const std::atomic<bool>& Cancel;
    const WorkerPorts& Ports;

    static int Callback(double fraction, void* context) {
        const auto& self = *static_cast<const Progress*>(context);
        if (self.Cancel.load()) {
            return -1;
        }
        if (self.Ports.SetProgress) {
            // The bar runs from 0 to 99, so a finished stage stays at 99 until the window hides.
            const double percent = std::floor(fraction * 100.0);
            self.Ports.SetProgress(!(percent > 0.0) ? 0
                                   : percent > 99.0 ? 99
                                                    : static_cast<int>(percent));
        }
        return 0;
    }
    void Show(bool show) const {
        if (Ports.ShowProgress) {
            Ports.ShowProgress(show);
        }
    }
    void Post(bool success) const {
        if (Ports.PostResult) {
            Ports.PostResult(success);
        }
    }
};

ReconstructionWorkers::ReconstructionWorkers(std::string installDir, VolumeClass& volume,
                                             WorkerPorts ports, ReconstructionLibrary library)
    : m_WorkFolder(std::move(installDir) + kWorkFolder),
      m_Volume(volume),
      m_Ports(std::move(ports)),
      m_Library(WithDefaults(std::move(library))) {}

ReconstructionWorkers::~ReconstructionWorkers() {
    StartReconstruction(false);
    StopPreparation();
    if (m_Handle != nullptr) {
        m_Library.Release(m_Handle);
        m_Handle = nullptr;
    }
}

void ReconstructionWorkers::EnsureHandle() {
    if (m_Handle == nullptr) {
        m_Handle = m_Library.Init();
    }
}

void ReconstructionWorkers::StartPreparation() {
    StopPreparation();
    EnsureHandle();
    m_PrepareCancel = false;
    m_Preparation = std::make_shared<Preparation>(m_NextId++);
    m_PrepareThread = std::thread(&ReconstructionWorkers::PrepareMain, this, m_Preparation);
}

void ReconstructionWorkers::StopPreparation() {
    if (m_PrepareThread.joinable()) {
        m_PrepareCancel = true;
        WakeWaiters();
        m_PrepareThread.join();
        m_Preparation.reset();
    }
    m_PrepareCancel = false;
}

void ReconstructionWorkers::StartReconstruction(bool start) {
    if (m_ReconstructThread.joinable()) {
        m_ReconstructCancel = true;
        WakeWaiters();
        if (m_ReconstructWaitsOn) {
            m_ReconstructWaitsOn->Wake();
        }
        m_ReconstructThread.join();
        m_ReconstructWaitsOn.reset();
    }
    m_ReconstructCancel = false;
    if (!start) {
        return;
    }
    EnsureHandle();
    m_ReconstructWaitsOn = m_Preparation;
    m_ReconstructThread = std::thread(&ReconstructionWorkers::ReconstructMain, this,
                                      m_ReconstructWaitsOn, m_NextId++);
}

bool ReconstructionWorkers::AcquireLibrary(const std::atomic<bool>& cancel) {
    std::unique_lock lock(m_LibraryMutex);
    m_LibraryFree.wait(lock, [&] { return !m_LibraryBusy || cancel.load(); });
    if (cancel.load()) {
        return false;
    }
    m_LibraryBusy = true;
    return true;
}

void ReconstructionWorkers::ReleaseLibrary() {
    {
        const std::lock_guard lock(m_LibraryMutex);
        m_LibraryBusy = false;
    }
    m_LibraryFree.notify_all();
}

void ReconstructionWorkers::WakeWaiters() {
    { const std::lock_guard lock(m_LibraryMutex); }
    m_LibraryFree.notify_all();
}

bool ReconstructionWorkers::Prepare(Progress& progress, uint64_t id) {
    m_Volume.mTerminate(true);
    m_PreparedBy = id;
    return m_Library.Prepare(m_Handle, &m_Volume, m_WorkFolder.c_str(), kTrajectoryName,
                             &Progress::Callback, &progress, kFilterWindow, kTruncationCorrection);
}

void ReconstructionWorkers::PrepareMain(std::shared_ptr<Preparation> preparation) {
    Progress progress{m_PrepareCancel, m_Ports};
    bool ok = false;
    if (AcquireLibrary(m_PrepareCancel)) {
        ok = Prepare(progress, preparation->Id);
        ReleaseLibrary();
    }
    progress.Show(false);
    preparation->Finish(ok);
}

void ReconstructionWorkers::ReconstructMain(std::shared_ptr<Preparation> waitOn, uint64_t ownId) {
    Progress progress{m_ReconstructCancel, m_Ports};
    progress.Show(true);
    bool ok = false;
    bool held = false;
    if (!waitOn) {
        held = AcquireLibrary(m_ReconstructCancel);
        ok = held && Prepare(progress, ownId);
    } else if (waitOn->Wait(m_ReconstructCancel)) {
        // A newer preparation may have run on the handle since: it belongs to another
        // acquisition, so this reconstruction has nothing valid to work from.
        held = AcquireLibrary(m_ReconstructCancel);
        ok = held && m_PreparedBy == waitOn->Id;
    }
    progress.Show(false);
    if (ok) {
        progress.Show(true);
        const std::string output = m_WorkFolder + kVolumeName;
        ok = m_Library.Reconstruct(m_Handle, &m_Volume, output.c_str(), &Progress::Callback,
                                   &progress);
        progress.Show(false);
    }
    if (held) {
        ReleaseLibrary();
    }
    progress.Post(ok);
}

}  // namespace zor::volume
