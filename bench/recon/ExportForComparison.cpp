// Helper of the comparison scripts: writes a work folder's projections and geometry in
// plastimatch's fdk input format, writes a volume as raw voxels for VTK, and compares a
// plastimatch volume with ours.
//   recon_export fdk <workFolder> <outDir>      -> outDir/0000.pfm, 0000.txt, ...
//   recon_export raw <Volume.vol> <out.raw>     -> uint16, vertical axis fastest
//   recon_export ncc <Volume.vol> <plastimatch.mha>
//   recon_export ball <workFolder>      -> noiseless projections of a 16 mm ball of 0.05/mm at
//                                          the volume centre (calibrates plastimatch's units)
//   recon_export import <Volume.vol> <plastimatch.mha> <ball.mha> <out.vol>
//                                       plastimatch's volume in our format and geometry, its
//                                       units calibrated by its reconstruction of the ball
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "phantom/PhantomImaging.h"
#include "zor_r3d/ProjectionIo.h"
#include "zor_r3d/Trajectory.h"
#include "zor_vol/VolumeClass.h"
#include "zor_vol/VolumeFile.h"

namespace {

int ExportFdk(const std::string& work, const std::string& out) {
    zor_r3d::Trajectory t;
    if (!zor_r3d::ReadTrajectoryFile(work + "ConeBeam.tra", t)) {
        std::fprintf(stderr, "no trajectory in %s\n", work.c_str());
        return 1;
    }
    const double sid = t.Sod * t.MagH, psU = t.PitchU * t.MagH, psV = t.PitchV * t.MagV;
    for (int i = 0; i < t.Views; ++i) {
        int w = t.DetCols, h = t.DetRows;
        std::vector<uint16_t> s;
        if (!zor_r3d::ReadGrey16Tiff(zor_r3d::ProjectionPath(work, i + 1), w, h, s)) {
            return 1;
        }
        const int view = t.Order[static_cast<size_t>(i)];
        // Volume-aligned frame: x along the arch (first axis), y across, z up.
        const double beta = (view - (t.Views - 1) * 0.5) * t.StepDeg * M_PI / 180.0;
        const double nrm[3] = {-std::sin(beta), std::cos(beta), 0.0};  // source -> detector
        const double u[3] = {std::cos(beta), std::sin(beta), 0.0};
        const double v[3] = {0.0, 0.0, -1.0};  // image rows run downwards
        char name[64];
        std::snprintf(name, sizeof name, "%04d", i);
        std::ofstream txt(out + name + ".txt");
        txt.setf(std::ios::scientific);
        txt.precision(8);
        txt << (w - 1) * 0.5 << " " << (h - 1) * 0.5 << "\n";
        for (const double* row : {u, v}) {
            const double scale = row == u ? 1.0 / psU : 1.0 / psV;
            txt << row[0] * scale << " " << row[1] * scale << " " << row[2] * scale << " 0\n";
        }
        txt << nrm[0] / sid << " " << nrm[1] / sid << " " << nrm[2] / sid << " " << t.Sod / sid
            << "\n";
        txt << t.Sod << "\n" << sid << "\n" << nrm[0] << " " << nrm[1] << " " << nrm[2] << "\n";
        txt << "Extrinsic\n";
        txt << u[0] << " " << u[1] << " " << u[2] << " 0\n"
            << v[0] << " " << v[1] << " " << v[2] << " 0\n"
            << nrm[0] << " " << nrm[1] << " " << nrm[2] << " " << t.Sod << "\n0 0 0 1\n";
        txt << "Intrinsic\n"
            << 1.0 / psU << " 0 0 0\n0 " << 1.0 / psV << " 0 0\n0 0 " << 1.0 / sid << " 0\n";
        std::ofstream pfm(out + name + ".pfm", std::ios::binary);
        pfm << "Pf\n" << w << " " << h << "\n-1\n";
        for (uint16_t sample : s) {
            const float p =
                static_cast<float>(std::log(zor_r3d::kFlatValue / std::max<int>(sample, 1)));
            pfm.write(reinterpret_cast<const char*>(&p), 4);
        }
    }
    std::printf("%d %d %d %.4f %.4f %.4f\n", t.Nx, t.Ny, t.Nz, t.Nx * t.Dx, t.Ny * t.Dy,
                t.Nz * t.Dz);
    return 0;
}

int ExportRaw(const std::string& vol, const std::string& out) {
    VolumeClass v;
    if (v.mInit(vol.c_str()) != 0) {
        return 1;
    }
    std::ofstream(out, std::ios::binary)
        .write(reinterpret_cast<const char*>(v.Voxels()),
               static_cast<std::streamsize>(v.m_DimX) * v.m_DimY * v.m_DimZ * 2);
    std::printf("%d %d %d\n", v.m_DimX, v.m_DimY, v.m_DimZ);
    return 0;
}

// Plastimatch's float volume (x = first axis fastest, z up) read beside ours, in our voxel
// order; empty on a mismatch.
std::vector<float> ReadMha(const VolumeClass& v, const std::string& mha) {
    std::ifstream in(mha, std::ios::binary);
    std::string line;
    bool isFloat = false;
    while (in && std::getline(in, line)) {
        if (line.find("ElementType") == 0) {
            isFloat = line.find("MET_FLOAT") != std::string::npos;
        }
        if (line.find("ElementDataFile") == 0) {
            break;
        }
    }
    const size_t n = static_cast<size_t>(v.m_DimX) * v.m_DimY * v.m_DimZ;
    std::vector<float> p(n), ours(n);
    if (!isFloat ||
        !in.read(reinterpret_cast<char*>(p.data()), static_cast<std::streamsize>(n * 4))) {
        std::fprintf(stderr, "unexpected mha\n");
        return {};
    }
    for (size_t i = 0; i < static_cast<size_t>(v.m_DimX); ++i)
        for (size_t j = 0; j < static_cast<size_t>(v.m_DimY); ++j)
            for (size_t k = 0; k < static_cast<size_t>(v.m_DimZ); ++k)
                ours[(i * v.m_DimY + j) * v.m_DimZ + k] =
                    p[i + v.m_DimX * (j + v.m_DimY * (v.m_DimZ - 1 - k))];
    return ours;
}

// NCC between our volume and plastimatch's.
int Compare(const std::string& vol, const std::string& mha) {
    VolumeClass v;
    if (v.mInit(vol.c_str()) != 0) {
        return 1;
    }
    const std::vector<float> p = ReadMha(v, mha);
    if (p.empty()) {
        return 1;
    }
    const size_t n = p.size();
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (size_t i = 0; i < n; ++i) {
        const double a = v.Voxels()[i], b = p[i];
        sa += a;
        sb += b;
        saa += a * a;
        sbb += b * b;
        sab += a * b;
    }
    const double cov = sab / n - sa / n * sb / n;
    std::printf("NCC(ours, plastimatch) = %.3f\n",
                cov / std::sqrt((saa / n - sa / n * sa / n) * (sbb / n - sb / n * sb / n)));
    return 0;
}

// Plastimatch's volume written as "Volume.vol" with our header, so that zor_tool quality
// measures it like ours. Plastimatch writes 1000 · (mu / mu_ref − 1); mu_ref comes from its
// reconstruction of the 0.05/mm ball (mean within 4 mm of the centre). Negative values become
// 0 in the 16-bit format, as in our volumes.
int Import(const std::string& vol, const std::string& mha, const std::string& ball,
           const std::string& out) {
    VolumeClass v;
    if (v.mInit(vol.c_str()) != 0) {
        return 1;
    }
    const std::vector<float> p = ReadMha(v, mha), b = ReadMha(v, ball);
    if (p.empty() || b.empty()) {
        return 1;
    }
    const auto& h = v.Header();
    double sum = 0.0;
    int n = 0;
    for (int i = 0; i < v.m_DimX; ++i)
        for (int j = 0; j < v.m_DimY; ++j)
            for (int k = 0; k < v.m_DimZ; ++k) {
                const double x = (i - (v.m_DimX - 1) * 0.5) * h.Dx;
                const double y = (j - (v.m_DimY - 1) * 0.5) * h.Dy;
                const double z = (k - (v.m_DimZ - 1) * 0.5) * h.Dz;
                if (std::hypot(x, y, z) < 4.0) {
                    sum += b[(static_cast<size_t>(i) * v.m_DimY + j) * v.m_DimZ + k];
                    ++n;
                }
            }
    const double perUnit = 0.05 / (sum / n + 1000.0);  // 1/mm per unit above -1000
    std::printf("plastimatch: 1/mm = (value + 1000) x %.4g\n", perUnit);
    std::vector<uint16_t> voxels(p.size());
    for (size_t i = 0; i < p.size(); ++i) {
        const double mu = (p[i] + 1000.0) * perUnit;
        voxels[i] = static_cast<uint16_t>(
            std::clamp(mu * h.ValueScale + h.ValueOffset + 0.5, 0.0, 65535.0));
    }
    return zor_vol_file::WriteVolumeFileAtomic(out, h, voxels) ==
                   zor_vol_file::VolumeFileError::None
               ? 0
               : 1;
}

// Replaces the projections of `work` by those of a ball of 0.05/mm, radius 8 mm, at the
// volume centre.
int WriteBall(const std::string& work) {
    zor_r3d::Trajectory t;
    if (!zor_r3d::ReadTrajectoryFile(work + "ConeBeam.tra", t)) {
        return 1;
    }
    zor::phantom::PhantomGrid g;
    g.Pitch = 0.2;
    g.Nx = g.Ny = g.Nz = 91;
    g.X0 = t.CentreX - 9.0, g.Y0 = t.CentreY - 9.0, g.Z0 = t.CentreZ - 9.0;
    g.Mu.assign(size_t{91} * 91 * 91, 0.0f);
    g.Used.assign(91 * 91, 1);
    for (size_t n = 0; n < g.Mu.size(); ++n) {  // n = (i * 91 + j) * 91 + k
        if (std::hypot(n / 8281 * 0.2 - 9, n / 91 % 91 * 0.2 - 9, n % 91 * 0.2 - 9) < 8.0) {
            g.Mu[n] = 0.05f;
        }
    }
    zor::phantom::Exposure e;
    e.PhotonNoise = false;
    return zor::phantom::WriteProjections(g, t, work, e, nullptr) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "fdk") == 0) {
        return ExportFdk(std::string(argv[2]) + "/", std::string(argv[3]) + "/");
    }
    if (argc == 4 && std::strcmp(argv[1], "raw") == 0) {
        return ExportRaw(argv[2], argv[3]);
    }
    if (argc == 4 && std::strcmp(argv[1], "ncc") == 0) {
        return Compare(argv[2], argv[3]);
    }
    if (argc == 3 && std::strcmp(argv[1], "ball") == 0) {
        return WriteBall(std::string(argv[2]) + "/");
    }
    if (argc == 6 && std::strcmp(argv[1], "import") == 0) {
        return Import(argv[2], argv[3], argv[4], argv[5]);
    }
    std::fprintf(stderr,
                 "usage: recon_export fdk <work> <out> | raw <vol> <out> | ncc <vol> <mha> | "
                 "ball <work> | import <vol> <mha> <ball.mha> <out.vol>\n");
    return 2;
}
