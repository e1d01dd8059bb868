// The bytes of written interface-data documents stay what they are: the
// documents of fixed records are compared with a digest and a length taken
// from the writer as it was when the digests were recorded. A change of any
// byte (layout, number text, escaping, element order) fails here; a
// deliberate change of the document form has to record new digests.
#include "xml/intfdata_fixtures.h"

#include "xml/intfdata/xml_zpi.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// 64-bit FNV-1a.
uint64_t Digest(const std::string& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

// Writes the document and returns its bytes.
std::string WrittenDocument(const qel_intf_data* data, const qel_intf_data_extend* ext,
                            const char* tag) {
    const std::string path =
        ::testing::TempDir() + "zpi_bytes_" + tag + "_" + std::to_string(getpid()) + ".xml";
    IntfXmlZPI(path.c_str(), data, ext);
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::remove(path.c_str());
    return s.str();
}

// Records whose texts run over several lines: a B-spline surface with 40
// knots each way and 900 weighted control points, a contour of 150 edge
// ids, an edge with 20 UV points and a B-spline curve of 35 knots.
qel_intf_data* LongListsIntfData() {
    qel_intf_data* root = nullptr;
    EXPECT_EQ(qel_intf_data_alloc(&root), QEL_OK);
    EXPECT_EQ(qel_curvedata_type_set(root, QEL_ACCURACY_RELATIVE), QEL_OK);
    EXPECT_EQ(qel_intf_data_accuracy_set(root, 1e-7), QEL_OK);
    const double outline[6] = {-1e300, -0.1, 0, 1e-300, 0.2, 123456789.125};
    EXPECT_EQ(qel_intf_data_outline_set(root, outline), QEL_OK);

    std::vector<double> knots, weights;
    std::vector<QelPoint> points;
    for (int i = 0; i < 40; ++i)
        knots.push_back(i < 4 ? 0.0 : i > 35 ? 1.0 : (i - 3) / 33.0);
    for (int i = 0; i < 36 * 25; ++i) {
        weights.push_back(1.0 + (i % 5) / 7.0);
        points.push_back(fixtures::pt(i % 36 / 35.0, i / 36 * 0.3, std::sin(i * 0.01)));
    }
    double* u = zpifix::xar_of(knots);
    double* v = zpifix::xar_of(std::vector<double>(knots.begin(), knots.begin() + 29));
    double* w = zpifix::xar_of(weights);
    QelPoint* p = zpifix::xar_of(points);
    QelSurfaceshapedata shape{};
    const uint32_t degrees[2] = {3, 3};
    EXPECT_EQ(qel_bsplinesrfdata_init(degrees, u, v, w, p, 40, 29, 900, &shape), QEL_OK);
    xar_free(u);
    xar_free(v);
    xar_free(w);
    xar_free(p);
    QelSurfacedata* f = nullptr;
    EXPECT_EQ(qel_surfacedata_alloc(&f), QEL_OK);
    const double uvmin[2] = {0, 0}, uvmax[2] = {1, 1};
    EXPECT_EQ(qel_surfacedata_init(QEL_SURF_BSPLINE, uvmin, uvmax, -1, &shape, 7, f), QEL_OK);
    std::vector<int32_t> ids;
    for (int i = 0; i < 150; ++i)
        ids.push_back(i * 37 - 2000);
    QelContourdata contour{QEL_TRAV_INTERNAL, zpifix::xar_of(ids)};
    QelContourdata* contours = zpifix::xar_of(std::vector<QelContourdata>{contour});
    EXPECT_EQ(qel_surfacedata_contours_set(f, contours), QEL_OK);
    xar_free(contours);
    zpifix::appendFace(root, f);

    std::vector<double> curveKnots;
    for (int i = 0; i < 35; ++i)
        curveKnots.push_back(i / 34.0);
    QelCurvedata curve = fixtures::bspline(true);
    xar_free(curve.bspline.knots);
    curve.bspline.knots = zpifix::xar_of(curveKnots);
    curve.bspline.knot_count = 35;
    zpifix::appendEdge(root, 9, 20, nullptr, nullptr, &curve);
    return root;
}

struct DocumentCase {
    const char* tag;
    size_t length;
    uint64_t digest;
};

void ExpectBytes(const std::string& doc, const DocumentCase& expected) {
    EXPECT_EQ(doc.size(), expected.length) << expected.tag;
    EXPECT_EQ(Digest(doc), expected.digest)
        << expected.tag << ": the document's bytes changed; it starts\n"
        << doc.substr(0, 400);
}

TEST(XmlDocumentBytes, DocumentsOfFixedRecordsKeepTheirBytes) {
    qel_intf_data* full = zpifix::fullIntfData();
    qel_intf_data_extend* ext = zpifix::fullExtension();
    qel_intf_data* lists = LongListsIntfData();

    ExpectBytes(WrittenDocument(full, nullptr, "full"), {"full", 17476, 6907075569901648436ull});
    ExpectBytes(WrittenDocument(full, ext, "full_ext"), {"full with extension", 21636, 6141870411154255652ull});
    ExpectBytes(WrittenDocument(lists, nullptr, "lists"), {"long lists", 78734, 13891792243502841616ull});

    zpifix::freeExtension(ext);
    qel_intf_data_free(full);
    qel_intf_data_free(lists);
}

} // namespace
