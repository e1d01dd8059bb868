// Host records built from fuzz input, the way a caller may hand them in:
// every array is a real array of the base library, but the counts that
// the records keep beside their arrays say what the input says (often more
// or less than the array holds), kinds and types may be any value, and the
// leaf arrays of plain values (numbers, points, ids) may hold elements of
// another size than their layout. Pointers are never made up: each one is
// null or a block of the kind the field names. Everything built is owned
// by the record that holds it, so the records' own free routines release
// it.
#pragma once

#include "xmemory.h"
#include "api/qel_records.h"
#include "kernel/records/qel_routines.h"
#include "tests/kernel/records/annot_fixtures.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace zpifuzz {

class RecordBuilder {
public:
    explicit RecordBuilder(FuzzedDataProvider& in) : in_(in) {}

    // ---- values

    double Real() {
        switch (in_.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: return in_.ConsumeIntegralInRange<int>(-4, 4);
        case 1: return in_.ConsumeFloatingPoint<double>();
        case 2: return in_.ConsumeProbability<double>();
        default: {
            uint64_t bits = in_.ConsumeIntegral<uint64_t>(); // NaN and infinities too
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        }
        }
    }
    void Reals(double* out, int n) {
        for (int i = 0; i < n; ++i)
            out[i] = Real();
    }
    int32_t Int() {
        return in_.ConsumeBool() ? in_.ConsumeIntegralInRange<int32_t>(-3, 64)
                                 : in_.ConsumeIntegral<int32_t>();
    }
    uint32_t Word() { return uint32_t(Int()); }
    // A count kept beside an array of `real` elements: often right, else
    // a little off, zero or anything.
    uint32_t CountOf(int real) {
        switch (in_.ConsumeIntegralInRange<int>(0, 4)) {
        case 0:
        case 1: return uint32_t(real);
        case 2: return uint32_t(real + in_.ConsumeIntegralInRange<int>(-2, 2));
        case 3: return 0;
        default: return in_.ConsumeIntegral<uint32_t>();
        }
    }
    void Name(char16_t* out, int width) {
        const int n = in_.ConsumeIntegralInRange<int>(0, width); // width: no terminator
        for (int i = 0; i < n; ++i)
            out[i] = char16_t(in_.ConsumeIntegralInRange<int>(0, 3) == 0
                                  ? in_.ConsumeIntegral<uint16_t>()
                                  : in_.ConsumeIntegralInRange<int>('a', 'z'));
        for (int i = n; i < width; ++i)
            out[i] = 0;
    }

    // ---- arrays

    // Elements in an array: bounded by what is left of the budget.
    int Length(int most = 6) {
        if (budget_ <= 0 || in_.remaining_bytes() == 0)
            return 0;
        const int n = in_.ConsumeIntegralInRange<int>(0, most);
        budget_ -= n;
        return n;
    }
    // Null, or an array of n elements of T (or, now and then, of elements
    // of another size), filled from the input.
    template <class T> T* LeafArray(int n, bool mayBeNull = true) {
        if (mayBeNull && in_.ConsumeIntegralInRange<int>(0, 7) == 0)
            return nullptr;
        int size = int(sizeof(T));
        if (in_.ConsumeIntegralInRange<int>(0, 15) == 0)
            size = in_.ConsumeIntegralInRange<int>(1, 64);
        void* a = xar_alloc(n, size, 1 + in_.ConsumeIntegralInRange<int>(0, 8));
        if (!a)
            return nullptr;
        if (n > 0) {
            xar_resize(&a, n);
            auto* bytes = static_cast<unsigned char*>(a);
            const size_t total = size_t(n) * size_t(size);
            if (size % sizeof(double) == 0)
                Reals(reinterpret_cast<double*>(bytes), int(total / sizeof(double)));
            else
                for (size_t i = 0; i < total; ++i)
                    bytes[i] = in_.ConsumeIntegral<uint8_t>();
        }
        return static_cast<T*>(a);
    }
    // An array of n elements of T by value, each filled by fill(T&).
    template <class T, class Fill> T* Array(int n, Fill fill) {
        void* a = xar_alloc(0, int(sizeof(T)), 1 + in_.ConsumeIntegralInRange<int>(0, 8));
        for (int i = 0; i < n && a; ++i) {
            T item{};
            fill(item);
            xar_append(&a, 1, &item);
        }
        return static_cast<T*>(a);
    }
    template <class T, class Fill> void* Har(int n, Fill fill) {
        void* h = har_alloc(int(sizeof(T)), 1 + in_.ConsumeIntegralInRange<int>(0, 8));
        for (int i = 0; i < n && h; ++i) {
            T item{};
            fill(item);
            har_append(&h, &item);
        }
        return h;
    }
    template <class T> T* Block() { return static_cast<T*>(getmem(sizeof(T))); }

    // ---- geometry

    void Curve(QelCurvedata& c, int depth = 0) {
        static const uint32_t kKinds[] = {QEL_CURVE_POINT,   QEL_CURVE_LINE,    QEL_CURVE_ARC,
                                          QEL_CURVE_KIND10,  QEL_CURVE_SPLINE,  QEL_CURVE_BSPLINE,
                                          QEL_CURVE_ELLIPSE, QEL_CURVE_KIND40,  QEL_CURVE_COMPOSITE,
                                          QEL_CURVE_KIND56,  QEL_CURVE_CLEARED, 0,
                                          7};
        std::memset(&c, 0, sizeof c);
        c.kind = in_.PickValueInArray(kKinds);
        if (depth > 2 && (c.kind == QEL_CURVE_COMPOSITE || c.kind == QEL_CURVE_KIND56))
            c.kind = QEL_CURVE_LINE;
        switch (c.kind) {
        case QEL_CURVE_POINT: Reals(c.point.point, 3); break;
        case QEL_CURVE_LINE:
            Reals(c.line.end1, 3);
            Reals(c.line.end2, 3);
            break;
        case QEL_CURVE_ARC:
            Reals(c.arc.vector1, 12);
            break;
        case QEL_CURVE_KIND10: Reals(c.kind10.vector1, 7); break;
        case QEL_CURVE_SPLINE: Spline(c.spline); break;
        case QEL_CURVE_BSPLINE: {
            c.bspline.degree = Int();
            const int knots = Length(12), points = Length(8);
            c.bspline.knots = LeafArray<double>(knots);
            c.bspline.weights = in_.ConsumeBool() ? nullptr : LeafArray<double>(Length(8));
            c.bspline.points = LeafArray<QelPoint>(points);
            c.bspline.knot_count = CountOf(knots);
            c.bspline.point_count = CountOf(points);
            break;
        }
        case QEL_CURVE_ELLIPSE: Reals(c.ellipse.center, 13); break;
        case QEL_CURVE_KIND40:
            c.kind40.block = in_.ConsumeBool() ? getmem(size_t(in_.ConsumeIntegralInRange<int>(1, 64))) : nullptr;
            break;
        case QEL_CURVE_COMPOSITE:
            c.composite.components = in_.ConsumeIntegralInRange<int>(0, 7) == 0
                ? nullptr
                : Array<QelComponentcurvedata>(Length(3), [&](QelComponentcurvedata& k) {
                      Curve(k.curve, depth + 1);
                      k.direction = Word();
                  });
            break;
        case QEL_CURVE_KIND56:
            c.kind56.word = in_.ConsumeIntegral<uint64_t>();
            if (in_.ConsumeBool()) {
                c.kind56.curve = Block<QelCurvedata>();
                if (c.kind56.curve)
                    Curve(*c.kind56.curve, depth + 1);
            }
            break;
        default: break;
        }
    }
    void Spline(QelSplinedata& s) {
        s.kind = QEL_CURVE_SPLINE;
        const int n = Length(8);
        s.params = LeafArray<double>(n);
        s.points = LeafArray<QelPoint>(in_.ConsumeBool() ? n : Length(8));
        s.tangents = LeafArray<QelPoint>(in_.ConsumeBool() ? n : Length(8));
        s.count = CountOf(n);
    }
    void SplineSurface(QelSplinesrfdata& s) {
        const int u = Length(4), v = Length(4);
        s.u_params = LeafArray<double>(u);
        s.v_params = LeafArray<double>(v);
        const int grid = in_.ConsumeBool() ? u * v : Length(16);
        s.points = LeafArray<QelPoint>(grid);
        s.u_tangents = LeafArray<QelPoint>(grid);
        s.v_tangents = LeafArray<QelPoint>(grid);
        s.mixed_derivs = LeafArray<QelPoint>(grid);
        s.u_count = CountOf(u);
        s.v_count = CountOf(v);
    }
    uint32_t SurfaceKind() {
        static const uint32_t kKinds[] = {QEL_SURF_PLANE,     QEL_SURF_CYLINDER, QEL_SURF_CONE,
                                          QEL_SURF_TORUS,     QEL_SURF_SPLINE,   QEL_SURF_FILLET,
                                          QEL_SURF_RULED,     QEL_SURF_REVOLVED, QEL_SURF_TABCYL,
                                          QEL_SURF_BSPLINE,   QEL_SURF_CYLSPLINE, 0, 39};
        return in_.PickValueInArray(kKinds);
    }
    void Shape(uint32_t kind, QelSurfaceshapedata& s) {
        std::memset(&s, 0, sizeof s);
        Reals(s.plane.frame.e1, 12);
        switch (kind) {
        case QEL_SURF_CYLINDER:
        case QEL_SURF_CONE: s.cylinder.scalar = Real(); break;
        case QEL_SURF_TORUS:
            s.torus.radius1 = Real();
            s.torus.radius2 = Real();
            break;
        case QEL_SURF_REVOLVED:
        case QEL_SURF_TABCYL: Curve(s.srfrev.profile); break;
        case QEL_SURF_RULED:
            Curve(s.rulsrf.curve1);
            Curve(s.rulsrf.curve2);
            break;
        case QEL_SURF_SPLINE:
            std::memset(&s, 0, sizeof s);
            SplineSurface(s.splinesrf);
            break;
        case QEL_SURF_CYLSPLINE: SplineSurface(s.cylsplsrf.splinesrf); break;
        case QEL_SURF_FILLET:
            std::memset(&s, 0, sizeof s);
            Spline(s.filsrf.point_spline);
            Spline(s.filsrf.center_spline);
            Spline(s.filsrf.tangent_spline);
            break;
        case QEL_SURF_BSPLINE: {
            std::memset(&s, 0, sizeof s);
            QelBsplinesrfdata& b = s.bsplinesrf;
            b.u_degree = Word();
            b.v_degree = Word();
            const int u = Length(8), v = Length(8), p = Length(16);
            b.u_knots = LeafArray<double>(u);
            b.v_knots = LeafArray<double>(v);
            b.weights = in_.ConsumeBool() ? nullptr : LeafArray<double>(p);
            b.points = LeafArray<QelPoint>(p);
            b.u_knot_count = CountOf(u);
            b.v_knot_count = CountOf(v);
            b.point_count = CountOf(p);
            break;
        }
        default: break;
        }
    }
    QelContourdata* Contours() {
        if (in_.ConsumeIntegralInRange<int>(0, 5) == 0)
            return nullptr;
        return Array<QelContourdata>(Length(3), [&](QelContourdata& c) {
            c.traversal = Int();
            c.edge_ids = LeafArray<int32_t>(Length(6));
        });
    }
    void Face(QelSurfacedata& f) {
        std::memset(&f, 0, sizeof f);
        f.kind = SurfaceKind();
        Reals(f.uv_min, 2);
        Reals(f.uv_max, 2);
        Reals(f.xyz_min, 3);
        Reals(f.xyz_max, 3);
        f.orientation = Int();
        Shape(f.kind, f.shape);
        f.id = Word();
        f.contours = Contours();
    }
    void Edge(QelEdgedata& e) {
        std::memset(&e, 0, sizeof e);
        e.id = Word();
        e.face_ids[0] = Word();
        e.face_ids[1] = Word();
        e.directions[0] = Word();
        e.directions[1] = Word();
        e.uv_points = LeafArray<QelUvSample>(Length(6));
        QelCurvedata** curves[] = {&e.uv_curve1, &e.uv_curve2, &e.xyz_curve};
        for (QelCurvedata** c : curves)
            if (in_.ConsumeBool() && (*c = Block<QelCurvedata>()))
                Curve(**c);
    }
    void Quilt(QelQuiltdata& q) {
        q.id = Word();
        q.faces = in_.ConsumeIntegralInRange<int>(0, 5) == 0
            ? nullptr
            : Array<QelSurfacedata*>(Length(3), [&](QelSurfacedata*& f) {
                  f = in_.ConsumeIntegralInRange<int>(0, 5) == 0 ? nullptr : Block<QelSurfacedata>();
                  if (f)
                      Face(*f);
              });
    }
    void Datum(QelDatumdata& d) {
        static const int32_t kTypes[] = {QEL_DATUM_CSYS, QEL_DATUM_CURVE, QEL_DATUM_PLANE,
                                         QEL_DATUM_UNSET, 0, 63};
        std::memset(&d, 0, sizeof d);
        d.id = Word();
        d.type = in_.PickValueInArray(kTypes);
        Name(d.name, QEL_NAME_LEN);
        if (d.type == QEL_DATUM_CURVE)
            Curve(d.body.curve);
        else
            Reals(d.body.frame.e1, 12);
    }

    // A root with all four lists (each may be missing).
    qel_intf_data* Root() {
        qel_intf_data* r = nullptr;
        if (qel_intf_data_alloc(&r) != QEL_OK)
            return nullptr;
        r->accuracy_type = Word();
        r->accuracy = Real();
        Reals(r->outline, 6);
        if (in_.ConsumeBool())
            r->surfaces = Har<QelSurfacedata>(Length(4), [&](QelSurfacedata& f) { Face(f); });
        if (in_.ConsumeBool())
            r->quilts = Har<QelQuiltdata>(Length(3), [&](QelQuiltdata& q) { Quilt(q); });
        if (in_.ConsumeBool())
            r->edges = Har<QelEdgedata>(Length(4), [&](QelEdgedata& e) { Edge(e); });
        if (in_.ConsumeBool())
            r->datums = Har<QelDatumdata>(Length(3), [&](QelDatumdata& d) { Datum(d); });
        return r;
    }

    // ---- extension

    void FacetedRep(QelFacetedRepdata& r) {
        r.id = Int();
        Reals(r.outline, 6);
        auto pointers = [&](auto* sample, auto fill) -> void* {
            using T = std::remove_pointer_t<decltype(sample)>;
            void* h = har_alloc(int(sizeof(T*)), 1 + in_.ConsumeIntegralInRange<int>(0, 8));
            const int n = Length(6);
            for (int i = 0; i < n && h; ++i) {
                T* item = in_.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : Block<T>();
                if (item)
                    fill(*item);
                har_append(&h, &item);
            }
            return h;
        };
        if (in_.ConsumeBool())
            r.vertices = pointers(static_cast<QelFacetVertexdata*>(nullptr), [&](QelFacetVertexdata& v) {
                Reals(v.point, 3);
                v.neighbour = Int();
            });
        if (in_.ConsumeBool())
            r.vtxdata = pointers(static_cast<QelFacetVtxdata*>(nullptr), [&](QelFacetVtxdata& v) {
                Reals(v.normal, 5);
            });
        if (in_.ConsumeBool())
            r.facets = pointers(static_cast<QelFacetdata*>(nullptr), [&](QelFacetdata& f) {
                for (int i = 0; i < 3; ++i) {
                    f.vertex_idx[i] = Word();
                    f.vtxdata_idx[i] = Word();
                    f.neighbour_idx[i] = Word();
                }
                Reals(f.normal, 3);
            });
    }

    // An extension record (a getmem block) with any of its words filled.
    qel_intf_data_extend* Extension() {
        auto* e = Block<qel_intf_data_extend>();
        if (!e)
            return nullptr;
        if (in_.ConsumeBool())
            e->layers = Array<QelLayerdata>(Length(3), [&](QelLayerdata& l) {
                Name(l.name, QEL_NAME_LEN);
                l.layer_id = Word();
                l.item_ids = LeafArray<uint32_t>(Length(6));
                l.status = Word();
            });
        if (in_.ConsumeBool())
            e->ref_colors = Array<QelRefColordata>(Length(3), [&](QelRefColordata& c) {
                Reals(c.color, 12);
                Name(c.bump.name, QEL_NAME_LEN);
                Name(c.texture.file_name, 8);
            });
        if (in_.ConsumeBool())
            e->elem_colors = Array<QelElemColordata>(Length(4), [&](QelElemColordata& c) {
                c.item_id = Word();
                c.color_index[0] = Word();
                c.color_index[1] = Word();
            });
        if (in_.ConsumeBool())
            e->attributes = Har<QelGenAttribdata>(Length(4), [&](QelGenAttribdata& a) {
                Name(a.name, QEL_NAME_LEN);
                a.value_kind = Word();
                a.int_value = Int();
                a.double_value = Real();
                Name(a.text, QEL_ATTRIB_TEXT_LEN);
                a.short_value = uint16_t(Int());
                a.item_id = Word();
                a.item_type = Word();
            });
        if (in_.ConsumeBool())
            e->units = Array<QelUnitdata>(Length(3), [&](QelUnitdata& u) {
                u.factor = Real();
                Name(u.name, QEL_NAME_LEN);
                u.type = Word();
            });
        if (in_.ConsumeBool())
            e->ext_edges = Har<QelExtEdgedata>(Length(3), [&](QelExtEdgedata& x) {
                x.edge_id = Int();
                x.start_comps = LeafArray<QelVtxCompdata>(Length(3));
                x.end_comps = LeafArray<QelVtxCompdata>(Length(3));
                Reals(x.start_point, 6);
            });
        if (in_.ConsumeBool())
            e->item_names = Array<QelItemNamedata>(Length(3), [&](QelItemNamedata& n) {
                Name(n.name, QEL_NAME_LEN);
                n.item_id = Word();
                n.item_type = Word();
            });
        if (in_.ConsumeBool())
            e->solid_regions = Array<QelSolidRegiondata>(Length(2), [&](QelSolidRegiondata& s) {
                s.external_shell = LeafArray<int32_t>(Length(4));
                s.internal_shells = in_.ConsumeBool()
                    ? nullptr
                    : Array<int32_t*>(Length(2), [&](int32_t*& shell) { shell = LeafArray<int32_t>(Length(4)); });
            });
        if (in_.ConsumeBool())
            e->faceted_reps = Har<QelFacetedRepdata>(Length(2), [&](QelFacetedRepdata& r) { FacetedRep(r); });
        if (in_.ConsumeBool()) {
            // Annotation words: the full trees of the test fixtures.
            annot_fixtures::fill_annotations(*e);
            e->angular_dim_tolerance = Real();
            e->linear_dim_tolerance = Real();
        }
        return e;
    }

private:
    FuzzedDataProvider& in_;
    int budget_ = 400; // elements in all arrays of one input
};

} // namespace zpifuzz
