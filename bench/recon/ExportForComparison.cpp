// Helper of the comparison scripts: writes a work folder's projections and geometry in
// plastimatch's fdk input format, writes a volume as raw voxels for VTK, and compares a
// plastimatch volume with ours.
//   recon_export fdk <workFolder> <outDir>      -> outDir/0000.pfm, 0000.txt, ...
//   recon_export raw <Volume.vol> <out.raw>     -> uint16, vertical axis fastest
//   recon_export ncc <Volume.vol> <plastimatch.mha>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zor_r3d/ProjectionIo.h"
#include "zor_r3d/Trajectory.h"
#include "zor_vol/VolumeClass.h"

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

// NCC between our volume and plastimatch's float volume (x = first axis fastest, z up).
int Compare(const std::string& vol, const std::string& mha) {
    VolumeClass v;
    std::ifstream in(mha, std::ios::binary);
    if (v.mInit(vol.c_str()) != 0 || !in) {
        return 1;
    }
    std::string line;
    bool isFloat = false;
    while (std::getline(in, line)) {
        if (line.find("ElementType") == 0) {
            isFloat = line.find("MET_FLOAT") != std::string::npos;
        }
        if (line.find("ElementDataFile") == 0) {
            break;
        }
    }
    const size_t n = static_cast<size_t>(v.m_DimX) * v.m_DimY * v.m_DimZ;
    std::vector<float> p(n);
    if (!isFloat ||
        !in.read(reinterpret_cast<char*>(p.data()), static_cast<std::streamsize>(n * 4))) {
        std::fprintf(stderr, "unexpected mha\n");
        return 1;
    }
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (int i = 0; i < v.m_DimX; ++i)
        for (int j = 0; j < v.m_DimY; ++j)
            for (int k = 0; k < v.m_DimZ; ++k) {
                const double a = v.Voxels()[(static_cast<size_t>(i) * v.m_DimY + j) * v.m_DimZ + k];
                // plastimatch: index x + nx*(y + ny*z), z growing upwards.
                const double b = p[static_cast<size_t>(i) +
                                   static_cast<size_t>(v.m_DimX) *
                                       (j + static_cast<size_t>(v.m_DimY) * (v.m_DimZ - 1 - k))];
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
    std::fprintf(stderr,
                 "usage: recon_export fdk <work> <out> | raw <vol> <out> | ncc <vol> <mha>\n");
    return 2;
}
