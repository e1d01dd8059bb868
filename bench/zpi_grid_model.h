// The models that the interface-data document benchmarks write and read: a
// grid of unit faces, 100 to a row, built through the public interface,
// each face with one outer loop of its four edges (n faces give about 2n
// edges; border edges bound one face). Two kinds:
//   - kNumbers: faces alternate between planes and bicubic B-spline
//     surfaces (4 x 4 control points, a small bump); every edge has an XYZ
//     line and a UV line on each face it bounds. Most of the document is
//     number text.
//   - kStructure: planar quads, every 50th face a bicubic B-spline surface;
//     every edge a straight XYZ line only. Most of the document is markup.
#pragma once

#include "zpi50.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace zpibench {

constexpr int kRowLength = 100;

enum class GridKind { kNumbers, kStructure };

inline const char* NameOf(GridKind kind) {
    return kind == GridKind::kNumbers ? "numbers" : "structure";
}

struct GridModel {
    xrchandle<KWPIModel> model;
    int faces = 0;
    int edges = 0;
};

inline GridModel BuildGridModel(int faces, GridKind kind = GridKind::kNumbers) {
    const bool uvCurves = kind == GridKind::kNumbers;
    const xrchandle<KWPISession> session = KGetPISession();
    const int cols = faces < kRowLength ? faces : kRowLength;
    const int rows = (faces + cols - 1) / cols;
    GridModel grid;
    grid.model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.001);
    KWPIModel* model = grid.model.get();
    model->SetOutline(
        KBox3D::Create(KCreatePoint3D(0, 0, -0.25), KCreatePoint3D(cols, rows, 0.25)));
    auto faceAt = [&](int r, int c) {
        return (r < 0 || c < 0 || r >= rows || c >= cols || r * cols + c >= faces)
                   ? -1
                   : 1 + r * cols + c;
    };
    // Horizontal edge (r, c) runs from (c, r) to (c + 1, r); vertical edge
    // (r, c) from (c, r) to (c, r + 1).
    const int horizontal = (rows + 1) * cols;
    auto hId = [&](int r, int c) { return 1 + r * cols + c; };
    auto vId = [&](int r, int c) { return 1 + horizontal + r * (cols + 1) + c; };
    auto line3 = [&](double x0, double y0, double x1, double y1) {
        return session->CreatePILine(KCreatePoint3D(x0, y0, 0), KCreatePoint3D(x1, y1, 0));
    };
    auto addEdge = [&](int id, int f1, int f2, xrchandle<KPICurve> xyz, xrchandle<KPICurve> uv1,
                       xrchandle<KPICurve> uv2) {
        if (f1 < 0) {
            std::swap(f1, f2);
            std::swap(uv1, uv2);
        }
        if (f1 < 0)
            return;
        if (!uvCurves)
            uv1 = uv2 = xrchandle<KPICurve>();
        model->AddPIEdge(model->CreatePIEdgeWithXYZandUVCurves(
            id, f1, f2, KTRAV_SAME, f2 < 0 ? KTRAV_NONE : KTRAV_OPPOSITE, xyz, uv1,
            f2 < 0 ? xrchandle<KPICurve>() : uv2));
        ++grid.edges;
    };
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const int below = faceAt(r - 1, c), above = faceAt(r, c);
            addEdge(hId(r, c), below, above, line3(c, r, c + 1, r), line3(0, 1, 1, 1),
                    line3(0, 0, 1, 0));
        }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c <= cols; ++c) {
            const int left = faceAt(r, c - 1), right = faceAt(r, c);
            addEdge(vId(r, c), left, right, line3(c, r, c, r + 1), line3(1, 0, 1, 1),
                    line3(0, 0, 0, 1));
        }

    const xrchandle<KVector3D> xAxis = KCreateVector3D(1, 0, 0);
    const xrchandle<KVector3D> yAxis = KCreateVector3D(0, 1, 0);
    const xrchandle<KBoxUV> extent = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
    xrchandle<xrealsequence> knots(xrealsequence::create());
    for (double k : {0.0, 0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0})
        knots->Append(k);
    for (int i = 0; i < faces; ++i) {
        const int r = i / cols, c = i % cols;
        xrchandle<KPISurface> surface;
        const bool plane = kind == GridKind::kNumbers ? (r + c) % 2 == 0 : i % 50 != 49;
        if (plane) {
            surface = session->CreatePIPlane(KCsys::Create(KCreatePoint3D(c, r, 0), xAxis, yAxis));
        } else {
            xrchandle<KPoint3DList> points(KPoint3DList::create());
            for (int v = 0; v < 4; ++v)
                for (int u = 0; u < 4; ++u) {
                    const bool inner = u > 0 && u < 3 && v > 0 && v < 3;
                    points->Append(KCreatePoint3D(c + u / 3.0, r + v / 3.0,
                                                  inner ? 0.2 + 0.001 * (i % 7) : 0));
                }
            surface = session->CreatePIBsplsrf(3, 3, knots, knots, points, nullptr);
        }
        xrchandle<xintsequence> ids(xintsequence::create());
        ids->Append(hId(r, c));
        ids->Append(vId(r, c + 1));
        ids->Append(hId(r + 1, c));
        ids->Append(vId(r, c));
        xrchandle<KPILoopList> loops(KPILoopList::create());
        loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, ids));
        model->AddPIFace(model->CreatePIFace(1 + i, extent, KPISURFACE_ORIENT_POSITIVE, surface,
                                             loops));
    }
    grid.faces = faces;
    return grid;
}

// A path of its own for this process in the temporary directory.
inline std::string TempPath(const char* tag) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/zpibench_" + tag + "_" +
           std::to_string(::getpid()) + ".xml";
}

} // namespace zpibench
