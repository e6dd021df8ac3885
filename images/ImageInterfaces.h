#pragma once
// The port through which the image layer reaches the projection LUT library.
#include <memory>
#include <string>

class CLUTProjection;

namespace zor::images {

/// The LUT projection object of the volume library (CLUTProjection) as this layer uses it.
class IProjectionLut {
public:
    virtual ~IProjectionLut() = default;
    /// Loads "<projectionId>_X.LUT" from `folder` (ending in a separator) for the panoramic's
    /// left margin in pixels. 0 is success.
    virtual int LoadLUT(const std::string& projectionId, int marginLeft,
                        const std::string& folder) = 0;
    /// The library object behind the port, for the viewer's curve mapping; null in fakes.
    virtual CLUTProjection* Projection() { return nullptr; }
};

/// The port on the volume library's CLUTProjection (the default LUT object of the loader).
class VolumeLibraryLut : public IProjectionLut {
public:
    VolumeLibraryLut();
    ~VolumeLibraryLut() override;
    int LoadLUT(const std::string& projectionId, int marginLeft,
                const std::string& folder) override;
    CLUTProjection* Projection() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_Impl;
};

}  // namespace zor::images
