#include "kernel/geometry/geometry_dispatch.h"

#include "kernel/geometry/curves.h"
#include "kernel/geometry/surfaces.h"
#include "kernel/geometry/value_convert.h"

#include "xexcept.h"

#include <utility>

namespace {

// A new object of class T over the record, handed out as Interface.
template <class T, class Interface, class Record>
xrchandle<Interface> wrap(Record* record, bool ownsRecord, xrchandle<xobject>& keeper) {
    xrchandle<T> obj(new T(record, ownsRecord, std::move(keeper)));
    return xrchandle<Interface>(static_cast<Interface*>(obj.get()));
}

} // namespace

xrchandle<KPICurve> MakeCurveFromRecord(QelCurvedata* record, bool ownsRecord,
                                        xrchandle<xobject> keeper) {
    if (!record)
        return nullptr;
    // The whole kind field decides: a cleared curve (all bits set) and
    // kinds without a class (10, 40, 56, ...) give no object.
    switch (record->kind) {
    case QEL_CURVE_POINT:
        return wrap<KPIPoint_i, KPICurve>(record, ownsRecord, keeper);
    case QEL_CURVE_LINE:
        return wrap<KPILine_i, KPICurve>(record, ownsRecord, keeper);
    case QEL_CURVE_ARC:
        return wrap<KPIArc_i, KPICurve>(record, ownsRecord, keeper);
    case QEL_CURVE_SPLINE:
        return wrap<KPISpline_i, KPICurve>(record, ownsRecord, keeper);
    case QEL_CURVE_BSPLINE:
        return wrap<KPIBspline_i, KPICurve>(record, ownsRecord, keeper);
    case QEL_CURVE_ELLIPSE:
        return wrap<KPIEllipse_i, KPICurve>(record, ownsRecord, keeper);
    case QEL_CURVE_COMPOSITE:
        return wrap<KPICompositeCurve_i, KPICurve>(record, ownsRecord, keeper);
    default:
        return nullptr;
    }
}

xrchandle<KPISurface> MakeSurfaceFromRecord(uint32_t hostKind, QelSurfaceshapedata* shape,
                                            bool ownsRecord, xrchandle<xobject> keeper) {
    if (!shape)
        return nullptr;
    switch (hostKind) {
    case QEL_SURF_PLANE:
        return wrap<KPIPlane_i, KPISurface>(shape, ownsRecord, keeper);
    case QEL_SURF_CYLINDER:
        return wrap<KPICylinder_i, KPISurface>(shape, ownsRecord, keeper);
    case QEL_SURF_CONE:
        return wrap<KPICone_i, KPISurface>(shape, ownsRecord, keeper);
    case QEL_SURF_TORUS:
        return wrap<KPITorus_i, KPISurface>(shape, ownsRecord, keeper);
    case QEL_SURF_SPLINE:
        return wrap<KPISplineSrf_i, KPISurface>(shape, ownsRecord, keeper);
    case QEL_SURF_FILLET:
        return wrap<KPIFilSrf_i, KPISurface>(shape, ownsRecord, keeper);
    case QEL_SURF_RULED:
        return wrap<KPIRulSrf_i, KPISurface>(shape, ownsRecord, keeper);
    case QEL_SURF_REVOLVED:
        return wrap<KPISrfRev_i, KPISurface>(shape, ownsRecord, keeper);
    case QEL_SURF_TABCYL:
        return wrap<KPITabCyl_i, KPISurface>(shape, ownsRecord, keeper);
    case QEL_SURF_BSPLINE:
        return wrap<KPIBsplsrf_i, KPISurface>(shape, ownsRecord, keeper);
    case QEL_SURF_CYLSPLINE:
        return wrap<KPICylSplSrf_i, KPISurface>(shape, ownsRecord, keeper);
    default:
        return nullptr;
    }
}

xrchandle<KPICurveList> MakeCurveListFromComponents(QelComponentcurvedata* components,
                                                    xrchandle<xobject> keeper) {
    QelArrayView<QelComponentcurvedata> view(components);
    if (view.Empty())
        return nullptr;
    xrchandle<KPICurveList> list(KPICurveList::create());
    for (int i = 0; i < view.Count(); ++i) {
        auto* comp = const_cast<QelComponentcurvedata*>(&view[i]);
        list->Append(MakeCurveFromRecord(&comp->curve, false, keeper));
    }
    return list;
}

xrchandle<KPISpline> MakeSplineFromHead(const QelSplinedata* head) {
    xrchandle<KPISpline_i> spline(new KPISpline_i());
    spline->SetFromRecord(head);
    return xrchandle<KPISpline>(static_cast<KPISpline*>(spline.get()));
}

xrchandle<KPISplineSrf> MakeSplineSrfFromHead(const QelSplinesrfdata* head) {
    xrchandle<KPISplineSrf_i> surface(new KPISplineSrf_i());
    surface->SetFromRecord(head);
    return xrchandle<KPISplineSrf>(static_cast<KPISplineSrf*>(surface.get()));
}
