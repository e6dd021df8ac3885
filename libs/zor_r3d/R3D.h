#pragma once
// Trajectory planning and volume reconstruction (stand-in for the closed vendor library).
#include <string_view>

class VolumeClass;

/// Progress callback: fraction 0..1; returning -1 stops the running operation.
using R3DProgressCallback = int (*)(double fraction, void* context);

/// Creates a reconstruction handle (never null unless memory is exhausted).
void* R3DInit_2012();

/// Reads "<workFolder><trajectoryName>" and precomputes the reconstruction geometry and
/// filter; needs no projection. `filterWindow` (0..1, the system passes 0.35) apodises the ramp
/// filter; `truncationCorrection` fades the projection rows out beyond the detector edges.
/// False for a null handle, a missing or malformed trajectory, bad arguments, a job too large
/// or a cancel. The volume is not touched. Runs on the caller's thread plus worker threads.
/// A job is too large, and refused before anything is allocated, when its peak memory
/// (projections as floats, their filtered copy, the model of the surrounding anatomy, the
/// volume, the gradients of their smoothing) is above 4 GiB or half the physical memory, whichever
/// is less, or its work (views × (detector pixels + voxels of the volume and of the model)) above
/// 512 Mi units. The demo acquisition (11 views of 560 × 294, 50 × 240 × 270 voxels) counts 0.15
/// GiB and 50 M units; the largest job CreateTrajectory plans (64 views of 3334 columns) 0.67 GiB
/// and 344 M units. R3DLastError_2012 then tells the sizes.
bool R3DPrepareVolume_2012(void* handle, VolumeClass* volume, const char* workFolder,
                           const char* trajectoryName, R3DProgressCallback callback, void* context,
                           double filterWindow, bool truncationCorrection);

/// Reads the projections "3DTS_image_projection_1.tif".."_<views>.tif" from the prepared work
/// folder, reconstructs on all cores, writes `outputFile` atomically (temporary file + rename)
/// and hands the volume to `volume`. False without a successful prepare, for a missing,
/// unreadable or wrong-sized projection, a write error, or when the callback returned -1
/// (then within about 20 ms, and no output file is left).
bool R3DReconstructVolume_2012(void* handle, VolumeClass* volume, const char* outputFile,
                               R3DProgressCallback callback, void* context);

/// Why the last prepare or reconstruct on `handle` failed, in English; "" after a success and
/// for a null handle. Valid until the next operation on the handle.
const char* R3DLastError_2012(void* handle);

/// Frees the handle; null is ignored. No operation may be running on it.
void R3DRelease_2012(void* handle);

/// Plans the acquisition around the volume-of-interest centre (x, y in device mm) and writes
/// "ConeBeam.tra", "ConeBeam.csv", "ConeBeam_P0.csv", "ConeBeam_P0.txt" and "Test.txt" into
/// `workFolder`. `angle` is -pi minus the arch angle at the centre (rad); `diameter` (mm) the
/// volume of interest; `stepDeg` the angle between consecutive views; `views` their number;
/// `order` the acquisition order (view of each projection file); `fieldFactor` the detector
/// width at the centre in diameters; `magH`, `magV` source-detector over source-axis distance.
/// Outputs: rotation axis position x, y (µm), azimuth of the first view (1/100°), detector
/// columns, success flag. Returns 0 on success, else 1 bad mode, 2 bad geometry, 3 bad order,
/// 4 files not written (success flag then 0).
int CreateTrajectory(int mode, double x, double y, double angle, double diameter, double stepDeg,
                     int views, const int* order, std::wstring_view workFolder, double fieldFactor,
                     double magH, double magV, int* xStart, int* yStart, int* rotationStart,
                     int* columns, int* success);
