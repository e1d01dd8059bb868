// A model built through the object interface that holds every curve and
// surface kind, faces with and without loops, quilts, edges of the four
// kinds and datums of the three kinds, made in the storage mode in force;
// and an extension holding an item of every kind, faceted representations
// included.
//
// Every object the builders give to an operation of the library passes
// first through `pass(operation, argument, object)` (the argument counted
// from 1), which answers what is given in its place: a test hands one of
// them over as an object of its own class. The plain builders pass every
// object as it is.
#pragma once

#include "kernel/geometry/geometry_test_util.h"

#include "kpi_interfaces.h"

#include <array>
#include <initializer_list>
#include <vector>

namespace everykind {

inline xrchandle<KPoint3D> P(double x, double y, double z) { return KCreatePoint3D(x, y, z); }

inline xrchandle<KBoxUV> UvBox(double u0, double v0, double u1, double v1) {
    return KBoxUV::Create(KCreatePointUV(u0, v0), KCreatePointUV(u1, v1));
}

inline xrchandle<KPointUVList> UvPoints(std::initializer_list<std::array<double, 2>> pts) {
    xrchandle<KPointUVList> list(KPointUVList::create());
    for (const auto& p : pts)
        list->Append(KCreatePointUV(p[0], p[1]));
    return list;
}

template <class T> xrchandle<KPICurve> C(const xrchandle<T>& c) {
    return xrchandle<KPICurve>(c.get());
}
template <class T> xrchandle<KPISurface> S(const xrchandle<T>& s) {
    return xrchandle<KPISurface>(s.get());
}

inline xrchandle<KPISpline> Spline(KWPISession* s, double shift) {
    return s->CreatePISpline(Points({{0, 0, shift}, {1, 0.5, shift}, {2, 0.25, shift}}),
                             Vectors({{1, 0, 0}, {1, 0.1, 0}, {1, -0.1, 0.5}}),
                             Reals({0, 0.5, 1}));
}

inline xrchandle<KPISplineSrf> SplineSurface(KWPISession* s) {
    return s->CreatePISplsrf(Reals({0, 1}), Reals({0, 2}),
                             Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0.5}}),
                             Vectors({{1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}}),
                             Vectors({{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}}),
                             Vectors({{0, 0, 0}, {0, 0, 0.1}, {0, 0, 0}, {0, 0, 0.2}}));
}

// Passes every object as it is.
struct AsGiven {
    template <class T> T operator()(const char*, int, T object) const { return object; }
};

template <class T> xrchandle<T> ListOf(std::initializer_list<typename T::handle_type> items) {
    xrchandle<T> list(T::create());
    for (const auto& item : items)
        list->Append(item);
    return list;
}

// `faces`, when given, receives the faces as they were made.
template <class Pass>
xrchandle<KWPIModel> BuildModel(KWPISession* s, Pass&& pass,
                                std::vector<xrchandle<KPIFace>>* made = nullptr) {
    xrchandle<KWPIModel> model = s->CreatePIModel(KACCURACY_RELATIVE, 0.001);
    model->SetOutline(KBox3D::Create(P(-1, -2, -3), P(4, 5.5, 6.125)));

    xrchandle<KPILine> line = s->CreatePILine(P(0, 0, 0), P(1, 0.5, 0.25));
    xrchandle<KPIArc> arc = s->CreatePIArc(MakeCsys(1, 2, 3), 0.0, 1.5, 2.5);
    xrchandle<KPIEllipse> ellipse = s->CreatePIEllipse(MakeCsys(0, 0, 1), 3, 2, 0.1, 3.1);
    xrchandle<KPISpline> spline = Spline(s, 0);
    // Weights that are powers of two keep the weighted points exact both
    // ways.
    xrchandle<KPIBspline> bspline =
        s->CreatePIBspline(2, Reals({0, 0, 0, 1, 1, 1}), Reals({1, 2, 0.5}),
                           Points({{1, 2, 3}, {4, 5, 6}, {7, 8, 9.5}}));
    xrchandle<KPICompositeCurve> composite = s->CreatePICompositeCurve(
        pass("CreatePICompositeCurve", 1, ListOf<KPICurveList>({C(line), C(arc)})), Ints({1, 0}));

    std::vector<xrchandle<KPISurface>> surfaces = {
        S(s->CreatePIPlane(MakeCsys(0, 0, 0))),
        S(s->CreatePICylinder(MakeCsys(1, 0, 0), 2.5)),
        S(s->CreatePICone(MakeCsys(0, 1, 0), 0.5)),
        S(s->CreatePITorus(MakeCsys(0, 0, 1), 5, 1)),
        S(s->CreatePIRevolved(MakeCsys(1, 1, 0), pass("CreatePIRevolved", 2, C(line)))),
        S(s->CreatePIRuledSrf(MakeCsys(0, 1, 1), pass("CreatePIRuledSrf", 2, C(line)),
                              pass("CreatePIRuledSrf", 3, C(arc)))),
        S(s->CreatePITabCylinder(MakeCsys(1, 0, 1), pass("CreatePITabCylinder", 2, C(spline)))),
        S(s->CreatePIFilletSrf(pass("CreatePIFilletSrf", 1, Spline(s, 1)),
                               pass("CreatePIFilletSrf", 2, Spline(s, 2)),
                               pass("CreatePIFilletSrf", 3, Spline(s, 3)))),
        S(SplineSurface(s)),
        S(s->CreatePIBsplsrf(1, 1, Reals({0, 0, 1, 1}), Reals({0, 0, 1, 1}),
                             Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}}),
                             Reals({1, 2, 4, 0.5}))),
        S(s->CreatePICylSplineSrf(MakeCsys(2, 2, 2),
                                  pass("CreatePICylSplineSrf", 2, SplineSurface(s)))),
    };
    const KPISurfOrient orients[] = {KPISURFACE_ORIENT_POSITIVE, KPISURFACE_ORIENT_NEGATIVE,
                                     KPISURFACE_ORIENT_NONE};
    std::vector<xrchandle<KPIFace>> faces;
    xrchandle<KPIFaceList> later(KPIFaceList::create()); // set as a list
    for (size_t i = 0; i < surfaces.size(); ++i) {
        const int id = int(i) + 1;
        const KPISurfType type = surfaces[i]->GetPISurfaceType();
        xrchandle<KPILoopList> loops;
        if (type != KPISURF_SPLN) { // a spline face may go without loops
            loops = KPILoopList::create();
            loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, Ints({1, 2, 3})));
            if (i % 2 == 0)
                loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_INTERNAL, Ints({4})));
            if (i == 3)
                loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_NONE, Ints({})));
        }
        faces.push_back(model->CreatePIFace(id, UvBox(0, 0.5 * id, 1, id), orients[i % 3],
                                            pass("CreatePIFace", 4, surfaces[i]),
                                            pass("CreatePIFace", 5, loops)));
        if (i < 6)
            model->AddPIFace(pass("AddPIFace", 1, faces.back()));
        else
            later->Append(faces.back());
    }
    model->SetPIFaces(pass("SetPIFaces", 1, later));
    if (made)
        *made = faces;
    model->AddPIQuilt(pass("AddPIQuilt", 1,
                           model->CreatePIQuilt(50, pass("CreatePIQuilt", 2,
                                                         ListOf<KPIFaceList>({faces[0], faces[3]})))));
    model->SetPIQuilts(pass("SetPIQuilts", 1,
                            ListOf<KPIQuiltList>({model->CreatePIQuilt(
                                51, ListOf<KPIFaceList>({faces[5]}))})));

    model->AddPIEdge(pass("AddPIEdge", 1,
                          model->CreatePIEdgeWithPoints(1, 1, 2, UvPoints({{0, 0}, {0.5, 1}}),
                                                        UvPoints({{1, 1}, {0.25, 0.75}}),
                                                        KTRAV_SAME, KTRAV_NONE)));
    model->SetPIEdges(pass(
        "SetPIEdges", 1,
        ListOf<KPIEdgeList>(
            {model->CreatePIEdgeWithXYZCurve(2, 2, 3,
                                             pass("CreatePIEdgeWithXYZCurve", 4, C(bspline)),
                                             KTRAV_NONE, KTRAV_SAME),
             model->CreatePIEdgeWithUVCurves(3, 3, 4, pass("CreatePIEdgeWithUVCurves", 4, C(line)),
                                             pass("CreatePIEdgeWithUVCurves", 5, C(arc)),
                                             KTRAV_OPPOSITE, KTRAV_SAME),
             model->CreatePIEdgeWithXYZandUVCurves(
                 4, 4, 5, KTRAV_NONE, KTRAV_OPPOSITE,
                 pass("CreatePIEdgeWithXYZandUVCurves", 6, C(ellipse)),
                 pass("CreatePIEdgeWithXYZandUVCurves", 7, C(arc)),
                 pass("CreatePIEdgeWithXYZandUVCurves", 8, C(line)))})));

    model->AddPIDatum(pass("AddPIDatum", 1,
                           model->CreatePIDatum(1, "curve datum", nullptr,
                                                pass("CreatePIDatum", 4, C(composite)), nullptr)));
    model->AddPIDatum(model->CreatePIDatum(2, "csys", MakeCsys(3, 2, 1), nullptr, nullptr));
    model->AddPIDatum(model->CreatePIDatum(
        3, "plane & co", nullptr, nullptr,
        pass("CreatePIDatum", 5, s->CreatePIPlane(MakeCsys(0, 0, 9)))));
    model->SetPIDatums(pass(
        "SetPIDatums", 1,
        ListOf<KPIDatumList>(
            {model->CreatePIDatum(4, "spline", nullptr, C(spline), nullptr),
             model->CreatePIDatum(5, "point", nullptr, C(s->CreatePIPoint(P(7, 8, 9))),
                                  nullptr)})));
    return model;
}

inline xrchandle<KWPIModel> BuildModel() { return BuildModel(KGetPISession().get(), AsGiven()); }

// Gives `model` an extension holding a layer of the first two `faces`, a
// unit of each kind, two reference colours, element colours (the model's
// own first), a name and a general attribute, and a faceted representation
// of one facet.
template <class Pass>
void GiveExtension(KWPISession* s, KWPIModel* model, const std::vector<xrchandle<KPIFace>>& faces,
                   Pass&& pass) {
    xrchandle<KWPIModelExt> ext = s->CreatePIModelExt();
    xrchandle<KPILayer> layer = ext->CreatePILayer("Layer & one");
    layer->SetLayerId(4);
    for (int i : {0, 1, 2})
        layer->AddPIItem(pass("AddPIItem", 1, xrchandle<KPIItem>(faces.at(i).get())));
    layer->RemovePIItem(pass("RemovePIItem", 1, xrchandle<KPIItem>(faces.at(2).get())));
    ext->SetPILayers(pass("SetPILayers", 1, ListOf<KPILayerList>({layer})));
    ext->SetPIUnits(pass("SetPIUnits", 1,
                         ListOf<KPIUnitList>({xrchandle<KPIUnit>(ext->CreatePILengthUnit(
                                                  KPI_LENGTH_UNIT_MM)
                                                                     .get()),
                                              xrchandle<KPIUnit>(
                                                  ext->CreatePIMassUnitEx("lb", 0.4536).get())})));
    ext->SetPIReferenceColors(
        pass("SetPIReferenceColors", 1,
             ListOf<KPIReferenceColorList>({ext->CreatePIReferenceColor(KCreateColorRGB(1, 0, 0)),
                                            ext->CreatePIReferenceColor(KCreateColorRGB(0, 0.5, 1))})));
    ext->SetPIElementColors(pass("SetPIElementColors", 1,
                                 ListOf<KPIElementColorList>({ext->CreatePIElementColor(-1, 1, -1),
                                                              ext->CreatePIElementColor(2, 0, 1)})));
    ext->SetPINameAttributes(
        pass("SetPINameAttributes", 1,
             ListOf<KPINameAttributeList>({ext->CreatePINameAttribute(1, KPI_FACE, "face one")})));
    ext->SetPIGeneralAttributes(pass(
        "SetPIGeneralAttributes", 1,
        ListOf<KPIGeneralAttributeList>(
            {ext->CreatePIGeneralAttribute(2, KPI_EDGE, "attr1", xany(7)),
             ext->CreatePIGeneralAttribute(1, KPI_FACE, "attr2", xany(xstring("text")))})));
    xrchandle<KPIFacetedRep> rep = ext->CreatePIFacetedRep(3);
    rep->SetPIFacetVtxList(pass("SetPIFacetVtxList", 1,
                                ListOf<KPIFacetVtxList>({rep->CreatePIFacetVtx(P(0, 0, 0), -1),
                                                         rep->CreatePIFacetVtx(P(1, 0, 0), -1),
                                                         rep->CreatePIFacetVtx(P(0, 1, 0), -1)})));
    rep->SetPIFacetVtxdataList(pass(
        "SetPIFacetVtxdataList", 1,
        ListOf<KPIFacetVtxdataList>(
            {rep->CreatePIFacetVtxdata(KCreateVector3D(0, 0, 1), KCreatePointUV(0.5, 0.25))})));
    rep->SetPIFacetdataList(pass(
        "SetPIFacetdataList", 1,
        ListOf<KPIFacetdataList>({rep->CreatePIFacetdata(KCreateVector3D(0, 0, 1), Ints({0, 1, 2}),
                                                         Ints({0, 0, 0}), nullptr)})));
    rep->SetOutline(KBox3D::Create(P(0, 0, 0), P(1, 1, 0)));
    ext->SetPIFacetedReps(pass("SetPIFacetedReps", 1, ListOf<KPIFacetedRepList>({rep})));
    model->SetWPIModelExt(pass("SetWPIModelExt", 1, ext));
}

} // namespace everykind
