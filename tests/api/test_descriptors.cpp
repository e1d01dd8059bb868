// Every class, list and enumeration descriptor against its expected
// contents: type names, bases, properties in order with value types and
// flags, element types, constants.
#include "api/rtti/kpi_rtti_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using RttiFn = const xrtti* (*)();
using ObjRttiFn = const xrttiobject* (*)();

template <class T> const xrtti* rttiOf() { return T::getClassRtti(); }
template <const xrttienum* (*F)()> const xrtti* enumOf() { return F(); }

struct Prop {
    const char* name;
    RttiFn type;
    unsigned char flag;
};

struct ClassCase {
    const char* className;
    ObjRttiFn rtti;
    const char* typeName;
    RttiFn base;
    std::vector<Prop> props;
};

struct ListCase {
    const char* className;
    ObjRttiFn rtti;
    const char* typeName;
    RttiFn element;
};

struct EnumCase {
    const xrttienum* (*rtti)();
    const char* typeName;
    std::vector<const char*> names;
};

#define CLS(C) #C, &C::getClassRtti
const RttiFn kInt = &cipGetRtti_int;
const RttiFn kReal = &cipGetRtti_real;
const RttiFn kString = &cipGetRtti_string;
const RttiFn kAny = &cipGetRtti_any;

// Nothing here calls a descriptor getter at static initialisation.
const std::vector<ClassCase>& classCases() {
    static const std::vector<ClassCase> cases = {
        // geometry
        {CLS(KPICurve), "KPIGeometry::PICurve", rttiOf<KCommon>, {}},
        {CLS(KPISurface), "KPIGeometry::PISurface", rttiOf<KCommon>, {}},
        {CLS(KPIPoint), "KPIGeometry::PIPoint", rttiOf<KPICurve>,
         {{"Point3D", rttiOf<KPoint3D>, 0}}},
        {CLS(KPILine), "KPIGeometry::PILine", rttiOf<KPICurve>,
         {{"End0", rttiOf<KPoint3D>, 0}, {"End1", rttiOf<KPoint3D>, 0}}},
        {CLS(KPIArc), "KPIGeometry::PIArc", rttiOf<KPICurve>,
         {{"End0", kReal, 0}, {"End1", kReal, 0}, {"Radius", kReal, 0}}},
        {CLS(KPIEllipse), "KPIGeometry::PIEllipse", rttiOf<KPICurve>,
         {{"C0", kReal, 0}, {"C1", kReal, 0}, {"End0", kReal, 0}, {"End1", kReal, 0}}},
        {CLS(KPISpline), "KPIGeometry::PISpline", rttiOf<KPICurve>,
         {{"Points", rttiOf<KPoint3DList>, 0},
          {"Tangents", rttiOf<KVector3DList>, 0},
          {"Parameters", rttiOf<xrealsequence>, 0}}},
        {CLS(KPIBspline), "KPIGeometry::PIBspline", rttiOf<KPICurve>,
         {{"Degree", kInt, 0},
          {"Parameters", rttiOf<xrealsequence>, 0},
          {"Weights", rttiOf<xrealsequence>, 1},
          {"Points", rttiOf<KPoint3DList>, 0}}},
        {CLS(KPICompositeCurve), "KPIGeometry::PICompositeCurve", rttiOf<KPICurve>, {}},
        {CLS(KPIPlane), "KPIGeometry::PIPlane", rttiOf<KPISurface>, {}},
        {CLS(KPICylinder), "KPIGeometry::PICylinder", rttiOf<KPISurface>, {{"Radius", kReal, 0}}},
        {CLS(KPICone), "KPIGeometry::PICone", rttiOf<KPISurface>, {{"HalfAngle", kReal, 0}}},
        {CLS(KPITorus), "KPIGeometry::PITorus", rttiOf<KPISurface>,
         {{"R0", kReal, 0}, {"R1", kReal, 0}}},
        {CLS(KPISrfRev), "KPIGeometry::PISrfRev", rttiOf<KPISurface>,
         {{"Curve", rttiOf<KPICurve>, 0}}},
        {CLS(KPIRulSrf), "KPIGeometry::PIRulSrf", rttiOf<KPISurface>,
         {{"Csys", rttiOf<KCsys>, 0}, {"Curve1", rttiOf<KPICurve>, 0}, {"Curve2", rttiOf<KPICurve>, 0}}},
        {CLS(KPITabCyl), "KPIGeometry::PITabCyl", rttiOf<KPISurface>,
         {{"Csys", rttiOf<KCsys>, 0}, {"Curve", rttiOf<KPICurve>, 0}}},
        {CLS(KPIFilSrf), "KPIGeometry::PIFilSrf", rttiOf<KPISurface>,
         {{"PointSpline", rttiOf<KPISpline>, 0},
          {"CenterSpline", rttiOf<KPISpline>, 0},
          {"TangentSpline", rttiOf<KPISpline>, 0}}},
        {CLS(KPISplineSrf), "KPIGeometry::PISplineSrf", rttiOf<KPISurface>,
         {{"UParameters", rttiOf<xrealsequence>, 0},
          {"VParameters", rttiOf<xrealsequence>, 0},
          {"Points", rttiOf<KPoint3DList>, 0},
          {"UTangents", rttiOf<KVector3DList>, 0},
          {"VTangents", rttiOf<KVector3DList>, 0},
          {"MixedDerivatives", rttiOf<KVector3DList>, 0}}},
        {CLS(KPIBsplsrf), "KPIGeometry::PIBsplsrf", rttiOf<KPISurface>,
         {{"UDegree", kInt, 0},
          {"VDegree", kInt, 0},
          {"UParameters", rttiOf<xrealsequence>, 0},
          {"VParameters", rttiOf<xrealsequence>, 0},
          {"Points", rttiOf<KPoint3DList>, 0},
          {"Weights", rttiOf<xrealsequence>, 1}}},
        {CLS(KPICylSplSrf), "KPIGeometry::PICylSplSrf", rttiOf<KPISurface>,
         {{"Csys", rttiOf<KCsys>, 0}, {"Splsrf", rttiOf<KPISplineSrf>, 0}}},
        // topology
        {CLS(KPIItem), "KPIItem::PIItem", rttiOf<KCommon>, {}},
        {CLS(KPILoop), "KPIItem::PILoop", rttiOf<KCommon>,
         {{"PILoopTraversal", enumOf<cipGetRtti_KPILoopTraversal>, 0},
          {"EdgeIds", rttiOf<xintsequence>, 0}}},
        {CLS(KPIFace), "KPIItem::PIFace", rttiOf<KPIItem>,
         {{"PIFaceUVExtent", rttiOf<KBoxUV>, 0},
          {"PISurfaceOrientation", enumOf<cipGetRtti_KPISurfOrient>, 0},
          {"PISurface", rttiOf<KPISurface>, 0},
          {"PILoopList", rttiOf<KPILoopList>, 1}}},
        {CLS(KPIEdge), "KPIItem::PIEdge", rttiOf<KPIItem>,
         {{"EdgeType", kInt, 0},
          {"IdFace1", kInt, 0},
          {"IdFace2", kInt, 0},
          {"SrfPoints1", rttiOf<KPointUVList>, 1},
          {"SrfPoints2", rttiOf<KPointUVList>, 1},
          {"XYZCurve", rttiOf<KPICurve>, 1},
          {"Curve1", rttiOf<KPICurve>, 1},
          {"Curve2", rttiOf<KPICurve>, 1},
          {"Traversal1", enumOf<cipGetRtti_KTraversal>, 0},
          {"Traversal2", enumOf<cipGetRtti_KTraversal>, 0}}},
        {CLS(KPIDatum), "KPIItem::PIDatum", rttiOf<KPIItem>,
         {{"Name", kString, 0},
          {"Csys", rttiOf<KCsys>, 1},
          {"Curve", rttiOf<KPICurve>, 1},
          {"Plane", rttiOf<KPIPlane>, 1}}},
        {CLS(KPIQuilt), "KPIItem::PIQuilt", rttiOf<KPIItem>, {{"Faces", rttiOf<KPIFaceList>, 0}}},
        // metadata
        {CLS(KPIUnit), "KPIMetaData::PIUnit", rttiOf<KCommon>,
         {{"Name", kString, 0}, {"Factor", kReal, 0}, {"Type", enumOf<cipGetRtti_KPIUnitType>, 0}}},
        {CLS(KPILengthUnit), "KPIMetaData::PILengthUnit", rttiOf<KPIUnit>, {}},
        {CLS(KPIMassUnit), "KPIMetaData::PIMassUnit", rttiOf<KPIUnit>, {}},
        {CLS(KPINameAttribute), "KPIMetaData::PINameAttribute", rttiOf<KCommon>,
         {{"Name", kString, 0}, {"ItemId", kInt, 0}}},
        {CLS(KPIGeneralAttribute), "KPIMetaData::PIGeneralAttribute", rttiOf<KCommon>,
         {{"Name", kString, 0}, {"Value", kAny, 0}, {"ItemId", kInt, 0}}},
        {CLS(KPIReferenceColor), "KPIMetaData::PIReferenceColor", rttiOf<KCommon>,
         {{"Color", rttiOf<KColorRGB>, 0},
          {"Ambient", kReal, 0},
          {"Diffuse", kReal, 0},
          {"Specular", kReal, 0},
          {"SpecularCoefficient", kReal, 0},
          {"Transmission", kReal, 0},
          {"Highlight", rttiOf<KColorRGB>, 0},
          {"Reflection", kReal, 0}}},
        {CLS(KPIElementColor), "KPIMetaData::PIElementColor", rttiOf<KCommon>,
         {{"ItemId", kInt, 0}}},
        {CLS(KPILayer), "KPIMetaData::PILayer", rttiOf<KCommon>,
         {{"Name", kString, 0},
          {"Status", enumOf<cipGetRtti_KPILayerStatus>, 0},
          {"PIItemList", rttiOf<xintsequence>, 0},
          {"LayerId", kInt, 0}}},
        // faceted representations, model extension, model, session
        {CLS(KPIFacetVtx), "KWPIModelExt::PIFacetVtx", rttiOf<KCommon>,
         {{"VtxPoint", rttiOf<KPoint3D>, 0}, {"NeighbourFacetIdx", kInt, 0}}},
        {CLS(KPIFacetVtxdata), "KWPIModelExt::PIFacetVtxdata", rttiOf<KCommon>,
         {{"Normal", rttiOf<KVector3D>, 0}, {"TextureUV", rttiOf<KPointUV>, 0}}},
        {CLS(KPIFacetdata), "KWPIModelExt::PIFacetdata", rttiOf<KCommon>,
         {{"Normal", rttiOf<KVector3D>, 0},
          {"VtxIndices", rttiOf<xintsequence>, 0},
          {"VtxdataIndices", rttiOf<xintsequence>, 1},
          {"NeighbourFacetIndices", rttiOf<xintsequence>, 0}}},
        {CLS(KPIFacetedRep), "KWPIModelExt::PIFacetedRep", rttiOf<KCommon>,
         {{"Id", kInt, 0},
          {"PIFacetVtxList", rttiOf<KPIFacetVtxList>, 0},
          {"PIFacetVtxdataList", rttiOf<KPIFacetVtxdataList>, 0},
          {"PIFacetdataList", rttiOf<KPIFacetdataList>, 0},
          {"Outline", rttiOf<KBox3D>, 0}}},
        {CLS(KWPIModelExt), "KWPIModelExt::WPIModelExt", rttiOf<KCommon>,
         {{"PIFacetedReps", rttiOf<KPIFacetedRepList>, 0}}},
        {CLS(KWPIModel), "KWPIModel::WPIModel", rttiOf<KCommon>, {}},
        {CLS(KWPISession), "KWPISession::WPISession", rttiOf<KCommon>, {}},
    };
    return cases;
}

const std::vector<ListCase>& listCases() {
    static const std::vector<ListCase> cases = {
        {CLS(KPICurveList), "KPIGeometry::PICurveList", rttiOf<KPICurve>},
        {CLS(KPILoopList), "KPIItem::PILoopList", rttiOf<KPILoop>},
        {CLS(KPIEdgeList), "KPIItem::PIEdgeList", rttiOf<KPIEdge>},
        {CLS(KPIFaceList), "KPIItem::PIFaceList", rttiOf<KPIFace>},
        {CLS(KPIDatumList), "KPIItem::PIDatumList", rttiOf<KPIDatum>},
        {CLS(KPIQuiltList), "KPIItem::PIQuiltList", rttiOf<KPIQuilt>},
        {CLS(KPIGeneralAttributeList), "KPIMetaData::PIGeneralAttributeList",
         rttiOf<KPIGeneralAttribute>},
        {CLS(KPINameAttributeList), "KPIMetaData::PINameAttributeList", rttiOf<KPINameAttribute>},
        {CLS(KPIUnitList), "KPIMetaData::PIUnitList", rttiOf<KPIUnit>},
        {CLS(KPILayerList), "KPIMetaData::PILayerList", rttiOf<KPILayer>},
        {CLS(KPIReferenceColorList), "KPIMetaData::PIReferenceColorList", rttiOf<KPIReferenceColor>},
        {CLS(KPIElementColorList), "KPIMetaData::PIElementColorList", rttiOf<KPIElementColor>},
        {CLS(KPIFacetVtxList), "KWPIModelExt::PIFacetVtxList", rttiOf<KPIFacetVtx>},
        {CLS(KPIFacetVtxdataList), "KWPIModelExt::PIFacetVtxdataList", rttiOf<KPIFacetVtxdata>},
        {CLS(KPIFacetdataList), "KWPIModelExt::PIFacetdataList", rttiOf<KPIFacetdata>},
        {CLS(KPIFacetedRepList), "KWPIModelExt::PIFacetedRepList", rttiOf<KPIFacetedRep>},
    };
    return cases;
}
#undef CLS

const std::vector<EnumCase>& enumCases() {
    static const std::vector<EnumCase> cases = {
        {cipGetRtti_KPICurveType, "KPIGeometry::PICurveType",
         {"KPICURV_POINT", "KPICURV_LINE", "KPICURV_ARC", "KPICURV_ELLIPSE", "KPICURV_SPLINE",
          "KPICURV_BSPLINE", "KPICURV_COMP"}},
        {cipGetRtti_KPISurfType, "KPIGeometry::PISurfType",
         {"KPISURF_PLANE", "KPISURF_CYL", "KPISURF_CONE", "KPISURF_TORUS", "KPISURF_SRFREV",
          "KPISURF_RULSRF", "KPISURF_TABCYL", "KPISURF_FILSRF", "KPISURF_SPLN", "KPISURF_BSPLN",
          "KPISURF_CYLSPLN"}},
        {cipGetRtti_KPILoopTraversal, "KPIItem::PILoopTraversal",
         {"KPI_LOOP_TRAV_NONE", "KPI_LOOP_TRAV_INTERNAL", "KPI_LOOP_TRAV_EXTERNAL"}},
        {cipGetRtti_KPISurfOrient, "KPIItem::PISurfOrient",
         {"KPISURFACE_ORIENT_NONE", "KPISURFACE_ORIENT_POSITIVE", "KPISURFACE_ORIENT_NEGATIVE"}},
        {cipGetRtti_KPIItemType, "KPIItem::PIItemType",
         {"KPI_EDGE", "KPI_FACE", "KPI_QUILT", "KPI_DATUM_CURVE", "KPI_DATUM_CSYS",
          "KPI_DATUM_PLANE", "KPI_PART"}},
        {cipGetRtti_KPIUnitType, "KPIMetaData::PIUnitType", {"KPI_LENGTH", "KPI_MASS"}},
        {cipGetRtti_KPILengthUnits, "KPIMetaData::PILengthUnits",
         {"KPI_LENGTH_UNIT_MM", "KPI_LENGTH_UNIT_CM", "KPI_LENGTH_UNIT_MIL", "KPI_LENGTH_UNIT_M",
          "KPI_LENGTH_UNIT_IN", "KPI_LENGTH_UNIT_FT", "KPI_LENGTH_UNIT_MICROMETER"}},
        {cipGetRtti_KPIMassUnits, "KPIMetaData::PIMassUnits",
         {"KPI_MASS_UNIT_MG", "KPI_MASS_UNIT_G", "KPI_MASS_UNIT_KG", "KPI_MASS_UNIT_TONNE",
          "KPI_MASS_UNIT_OUNCE", "KPI_MASS_UNIT_SLUG", "KPI_MASS_UNIT_TON"}},
        {cipGetRtti_KPILayerStatus, "KPIMetaData::PILayerStatus",
         {"KPILAYER_STATUS_NORMAL", "KPILAYER_STATUS_DISPLAY", "KPILAYER_STATUS_BLANKED"}},
    };
    return cases;
}

std::string nameOf(const xrtti* t) { return t ? t->name() : "<null>"; }

} // namespace

// The registrars build every descriptor while the library loads. Run on its
// own (as CTest does, one process per test), this asks the type map before
// anything in the process has called a descriptor getter.
TEST(Descriptors, AllRegisteredByNameAtLoad) {
    for (const ClassCase& c : classCases()) {
        auto* found = dynamic_cast<const xrttistruct*>(cipRttiFind(c.typeName));
        ASSERT_NE(found, nullptr) << c.typeName;
        EXPECT_TRUE(found->isInitialized()) << c.typeName;
        EXPECT_STREQ(found->name(), c.typeName);
    }
    for (const ListCase& l : listCases()) {
        auto* found = dynamic_cast<const xrttisequence*>(cipRttiFind(l.typeName));
        ASSERT_NE(found, nullptr) << l.typeName;
        EXPECT_NE(found->countFunction(), nullptr) << l.typeName;
    }
    for (const EnumCase& e : enumCases())
        EXPECT_NE(dynamic_cast<const xrttienum*>(cipRttiFind(e.typeName)), nullptr) << e.typeName;
}

TEST(Descriptors, EveryClassListAndEnumerationMatchesItsTable) {
    ASSERT_EQ(classCases().size(), 41u);
    ASSERT_EQ(listCases().size(), 16u);
    int flagged = 0;
    for (const ClassCase& c : classCases()) {
        SCOPED_TRACE(c.className);
        const xrttiobject* r = c.rtti();
        ASSERT_EQ(r, c.rtti()); // built once
        EXPECT_EQ(cipRttiFind(c.typeName), r);
        auto* s = dynamic_cast<const xrttistruct*>(r);
        ASSERT_NE(s, nullptr);
        EXPECT_STREQ(s->name(), c.typeName);
        EXPECT_EQ(KJournalClassName(s->name()), c.className);
        EXPECT_EQ(s->flag(), 1);
        ASSERT_EQ(s->baseCount(), 1);
        EXPECT_EQ(s->base(0), c.base()) << nameOf(s->base(0));
        ASSERT_EQ(s->attrCount(), static_cast<int>(c.props.size()));
        for (size_t i = 0; i < c.props.size(); ++i) {
            const xrttiattr* a = s->attr(static_cast<int>(i));
            ASSERT_NE(a, nullptr);
            EXPECT_STREQ(a->name(), c.props[i].name);
            EXPECT_EQ(a->type(), c.props[i].type())
                << a->name() << ": " << nameOf(a->type()) << " vs " << nameOf(c.props[i].type());
            EXPECT_EQ(a->flag(), c.props[i].flag) << a->name();
            EXPECT_NE(a->getter(), nullptr) << a->name();
            EXPECT_FALSE(a->hasSetter());
            flagged += a->flag();
        }
    }
    // Two geometry weights, five edge curves/points, three datum parts, the
    // face's loops and the facet's vertex-data indices.
    EXPECT_EQ(flagged, 12);

    for (const ListCase& l : listCases()) {
        SCOPED_TRACE(l.className);
        const xrttiobject* r = l.rtti();
        ASSERT_EQ(r, l.rtti());
        EXPECT_EQ(cipRttiFind(l.typeName), r);
        auto* s = dynamic_cast<const xrttisequence*>(r);
        ASSERT_NE(s, nullptr);
        EXPECT_STREQ(s->name(), l.typeName);
        EXPECT_EQ(KJournalClassName(s->name()), l.className);
        EXPECT_EQ(s->elementType(), l.element());
        EXPECT_NE(s->countFunction(), nullptr);
        EXPECT_NE(s->itemFunction(), nullptr);
    }
    // Each list has a descriptor of its own.
    for (size_t i = 0; i < listCases().size(); ++i)
        for (size_t j = i + 1; j < listCases().size(); ++j)
            EXPECT_NE(listCases()[i].rtti(), listCases()[j].rtti());

    for (const EnumCase& e : enumCases()) {
        SCOPED_TRACE(e.typeName);
        const xrttienum* r = e.rtti();
        ASSERT_EQ(r, e.rtti());
        EXPECT_EQ(cipRttiFind(e.typeName), r);
        EXPECT_STREQ(r->name(), e.typeName);
        ASSERT_EQ(r->count(), static_cast<int>(e.names.size()));
        for (size_t v = 0; v < e.names.size(); ++v) {
            EXPECT_STREQ(r->nameOf(static_cast<int64_t>(v)), e.names[v]);
            EXPECT_EQ(r->valueOf(e.names[v]), static_cast<int>(v));
        }
        EXPECT_EQ(r->nameOf(-1), nullptr);
        EXPECT_EQ(r->nameOf(static_cast<int64_t>(e.names.size())), nullptr);
    }
}

TEST(Descriptors, JournalClassNameIsBounded) {
    EXPECT_EQ(KJournalClassName("KPIItem::PILoop"), "KPILoop");
    EXPECT_EQ(KJournalClassName("NoColon"), "NoColon");
    EXPECT_EQ(KJournalClassName("Trailing:"), "K");
    EXPECT_EQ(KJournalClassName(""), "");
    EXPECT_EQ(KJournalClassName(nullptr), "");

    // Enumeration values: a constant's name, anything else its number.
    EXPECT_EQ(KEnumValueText(cipGetRtti_KPISurfOrient(), 2), "KPISURFACE_ORIENT_NEGATIVE");
    EXPECT_EQ(KEnumValueText(cipGetRtti_KPISurfOrient(), 7), "7");
    EXPECT_EQ(KEnumValueText(cipGetRtti_KPISurfOrient(), 3), "3");
    EXPECT_EQ(KEnumValueText(cipGetRtti_KPILayerStatus(), -1), "-1");
    EXPECT_EQ(KEnumValueText(cipGetRtti_KPIMassUnits(), INT32_MIN), "-2147483648");
    EXPECT_EQ(KEnumValueText(nullptr, 4), "4");
}

TEST(Descriptors, HostItemTypeMapping) {
    const int expected[][2] = {{6, KPI_EDGE},       {5, KPI_FACE},        {57, KPI_QUILT},
                               {62, KPI_DATUM_CURVE}, {25, KPI_DATUM_CSYS}, {2, KPI_PART},
                               {3, 7},              {-1, 7},              {0, 7}};
    for (const auto& e : expected)
        EXPECT_EQ(KPIItemTypeFromQelType(e[0]), e[1]) << e[0];
    for (int t = -5; t < 100; ++t)
        EXPECT_NE(KPIItemTypeFromQelType(t), KPI_DATUM_PLANE);
}
