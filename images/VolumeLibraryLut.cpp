#include "images/ImageInterfaces.h"
#include "platform/TextConvert.h"
#include "zor_vol/CLUTProjection.h"

namespace zor::images {

struct VolumeLibraryLut::Impl {
    CLUTProjection m_Lut;
};

VolumeLibraryLut::VolumeLibraryLut() : m_Impl(std::make_unique<Impl>()) {}
VolumeLibraryLut::~VolumeLibraryLut() = default;

int VolumeLibraryLut::LoadLUT(const std::string& projectionId, int marginLeft,
                              const std::string& folder) {
    return m_Impl->m_Lut.LoadLUT(platform::Utf8ToWide(projectionId), marginLeft,
                                 platform::Utf8ToWide(folder));
}

CLUTProjection* VolumeLibraryLut::Projection() {
    return &m_Impl->m_Lut;
}

}  // namespace zor::images
