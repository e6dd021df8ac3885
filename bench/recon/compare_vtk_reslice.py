#!/usr/bin/python3
"""Times VTK's vtkImageReslice on the 48 crosses that BM_SliceExtract48Crosses cuts.

Usage: compare_vtk_reslice.py <raw file from 'recon_export raw'> [threads]
The raw volume holds uint16 voxels with the vertical axis fastest (our Volume.vol layout), so
VTK's x is the vertical, y the across-arch and z the along-arch axis. Prints the median of
5 runs of 48 slices of 240 x 270, trilinear, like our benchmark (position (i+2)/50,
angle (i-24)*0.012 rad).
"""
import math
import statistics
import sys
import time

import vtk

NX, NY, NZ = 50, 240, 270
DX, DY, DZ = 0.7, 0.15, 0.15


def main():
    path = sys.argv[1]
    threads = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    reader = vtk.vtkImageReader2()
    reader.SetFileName(path)
    reader.SetDataScalarTypeToUnsignedShort()
    reader.SetDataByteOrderToLittleEndian()
    reader.SetFileDimensionality(3)
    reader.SetDataExtent(0, NZ - 1, 0, NY - 1, 0, NX - 1)
    reader.SetDataSpacing(DZ, DY, DX)
    reader.Update()

    reslice = vtk.vtkImageReslice()
    reslice.SetInputConnection(reader.GetOutputPort())
    reslice.SetInterpolationModeToLinear()
    reslice.SetNumberOfThreads(threads)
    if hasattr(reslice, "EnableSMPOff"):
        reslice.EnableSMPOff()  # plain threads, counted by SetNumberOfThreads
    reslice.SetOutputExtent(0, NZ - 1, 0, NY - 1, 0, 0)
    reslice.SetOutputSpacing(DZ, DY, 1.0)
    reslice.SetOutputOrigin(-(NZ - 1) * 0.5 * DZ, -(NY - 1) * 0.5 * DY, 0.0)
    reslice.SetOutputScalarType(vtk.VTK_UNSIGNED_SHORT)

    runs = []
    for _ in range(5):
        start = time.perf_counter()
        for i in range(48):
            pos = (i + 2) / 50.0
            angle = (i - 24) * 0.012
            centre = ((NZ - 1) * 0.5 * DZ, (NY - 1) * 0.5 * DY, (pos * NX - 1.0) * DX)
            # Output x: vertical; output y: the cross direction turned by `angle`.
            xa = (1.0, 0.0, 0.0)
            ya = (0.0, math.cos(angle), -math.sin(angle))
            za = (0.0, math.sin(angle), math.cos(angle))
            reslice.SetResliceAxesDirectionCosines(xa, ya, za)
            reslice.SetResliceAxesOrigin(centre)
            reslice.Update()
        runs.append((time.perf_counter() - start) * 1000.0)
    print("vtkImageReslice, %d thread(s): median %.1f ms for 48 slices (runs %s)"
          % (threads, statistics.median(runs), ", ".join("%.1f" % r for r in runs)))


if __name__ == "__main__":
    main()
