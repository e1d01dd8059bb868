// Type queries of interface and list classes over test implementations:
// casts return the right part, mismatches name the expected type, lists
// grow and check their indices, and property getters reach the object.
#include "api/rtti/kpi_rtti_support.h"
#include "api/recording_impl.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

// The type-mismatch exception raised by f, or a failure.
template <class F> std::string mismatchOf(F f) {
    try {
        f();
    } catch (const xthrown& e) {
        cipXTypeMismatch* m = cipXTypeMismatch::softcast(e.get());
        if (!m)
            return "<other exception>";
        return m->GetExpectedType();
    }
    return "<no exception>";
}

template <class F> cipXIndexError::Kind indexErrorOf(F f) {
    try {
        f();
    } catch (const xthrown& e) {
        if (cipXIndexError* ie = cipXIndexError::softcast(e.get()))
            return ie->GetKind();
    }
    ADD_FAILURE() << "no index error";
    return cipXIndexError::Negative;
}

const xrttiattr* attrNamed(const xrttiobject* rtti, const char* name) {
    auto* s = dynamic_cast<const xrttistruct*>(rtti);
    for (int i = 0; s && i < s->attrCount(); ++i)
        if (std::string(s->attr(i)->name()) == name)
            return s->attr(i);
    return nullptr;
}

class Arc : public KPIArc_rec {
public:
    double GetRadius() override { return 2.5; }
};

class Layer : public KPILayer_rec {
public:
    KPILayerStatus GetStatus() override { return KPILAYER_STATUS_BLANKED; }
    xstring GetName() override { return xstring("L1"); }
};

class Attribute : public KPIGeneralAttribute_rec {
public:
    xany GetValue() override { return xany(7.25); }
};

class Box : public KBox3D {};

class FacetedRep : public KPIFacetedRep_rec {
public:
    explicit FacetedRep(xrchandle<KBox3D> box) : box_(box) {}
    int GetId() override { return 7; }
    xrchandle<KBox3D> GetOutline() override { return box_; }

private:
    xrchandle<KBox3D> box_;
};

xobject* obj(xobject* o) { return o; }

} // namespace

TEST(TypeQueries, CastReturnsThePartOfTheObject) {
    xrchandle<KPIArc> arc(new KPIArc_rec);
    xobject* o = obj(arc.get());

    KPICurve* curve = KPICurve::cast(o);
    ASSERT_EQ(curve, static_cast<KPICurve*>(arc.get()));
    recordingLog().clear();
    curve->GetPICurveType();
    EXPECT_EQ(KPIArc::cast(o), arc.get());
    KPIArc::cast(o)->GetRadius();
    ASSERT_EQ(recordingLog().size(), 2u);
    EXPECT_EQ(recordingLog()[0], "KPICurve::GetPICurveType");
    EXPECT_EQ(recordingLog()[1], "KPIArc::GetRadius");

    // A topology object through its item part, a metadata one through its unit part.
    xrchandle<KPIFace> face(new KPIFace_rec);
    KPIItem* item = KPIItem::cast(obj(face.get()));
    ASSERT_EQ(item, static_cast<KPIItem*>(face.get()));
    recordingLog().clear();
    item->GetId();
    EXPECT_EQ(recordingLog().at(0), "KPIItem::GetId");

    xrchandle<KPILengthUnit> unit(new KPILengthUnit_rec);
    EXPECT_EQ(KPIUnit::cast(obj(unit.get())), static_cast<KPIUnit*>(unit.get()));

    // The object reports its interface's descriptor.
    EXPECT_EQ(o->giveRtti(), KPIArc::getClassRtti());
    EXPECT_TRUE(KPIArc::isObjSameAs(o));
    EXPECT_TRUE(KPICurve::isObjKindOf(o));
    EXPECT_TRUE(KCommon::isObjKindOf(o));
    EXPECT_FALSE(KPICurve::isObjSameAs(o));
    EXPECT_FALSE(KPISurface::isObjKindOf(o));
    EXPECT_FALSE(KPIArc::isObjKindOf(nullptr));
    EXPECT_FALSE(KPIFace::isObjSameAs(nullptr));
}

// The geometry interfaces are exported whole: a caller may construct,
// copy and assign through them, but destroys only through handles. The
// other interfaces keep their constructors to implementations.
static_assert(std::is_copy_assignable_v<KPIArc> && std::is_copy_assignable_v<KPICurve> &&
              std::is_copy_assignable_v<KPICylSplSrf> && std::is_copy_assignable_v<KPISurface>);
static_assert(!std::is_destructible_v<KPIArc> && !std::is_destructible_v<KPISurface>);
static_assert(!std::is_copy_assignable_v<KPIFace> && !std::is_copy_assignable_v<KWPIModel> &&
              !std::is_copy_assignable_v<KPILayer>);

TEST(TypeQueries, AssigningGeometryInterfacesChangesNothingButTheTarget) {
    xrchandle<KPIArc> a(new KPIArc_rec), b(new KPIArc_rec);
    xrchandle<KPIArc> extra(b);
    KPICurve& target = *a;
    target = *b; // an interface holds no data; the counts stay each object's own
    EXPECT_EQ(a->refCount(), 1);
    EXPECT_EQ(b->refCount(), 2);
    *a = *b;
    EXPECT_EQ(a->refCount(), 1);
    EXPECT_EQ(obj(a.get())->giveRtti(), KPIArc::getClassRtti());
}

TEST(TypeQueries, MismatchNamesTheExpectedTypeAndSoftcastGivesNull) {
    xrchandle<KPIArc> arc(new KPIArc_rec);
    xrchandle<KPIFace> face(new KPIFace_rec);
    xrchandle<KPILoop> loop(new KPILoop_rec);
    xrchandle<KPIMassUnit> mass(new KPIMassUnit_rec);
    xrchandle<KPIFacetVtx> vtx(new KPIFacetVtx_rec);

    EXPECT_EQ(mismatchOf([&] { KPISurface::cast(obj(arc.get())); }), "KPIGeometry::PISurface");
    EXPECT_EQ(KPISurface::softcast(obj(arc.get())), nullptr);
    EXPECT_EQ(KPILine::softcast(obj(arc.get())), nullptr); // sibling
    EXPECT_EQ(mismatchOf([&] { KPIItem::cast(obj(loop.get())); }), "KPIItem::PIItem");
    EXPECT_EQ(mismatchOf([&] { KPILoop::cast(obj(face.get())); }), "KPIItem::PILoop");
    EXPECT_EQ(mismatchOf([&] { KPILengthUnit::cast(obj(mass.get())); }),
              "KPIMetaData::PILengthUnit");
    EXPECT_EQ(mismatchOf([&] { KPIFacetdata::cast(obj(vtx.get())); }),
              "KWPIModelExt::PIFacetdata");

    // The mismatch holds the offending object; nothing is changed.
    int32_t before = obj(arc.get())->refCount();
    try {
        KWPIModel::cast(obj(arc.get()));
        FAIL();
    } catch (const xthrown& e) {
        auto* m = cipXTypeMismatch::softcast(e.get());
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->GetValue().asObject(), obj(arc.get()));
    }
    EXPECT_EQ(obj(arc.get())->refCount(), before);

    // Null and the reserved pointer pass through both casts.
    auto* reserved = reinterpret_cast<xobject*>(uintptr_t{22});
    EXPECT_EQ(KPIArc::cast(nullptr), nullptr);
    EXPECT_EQ(KPIFace::cast(nullptr), nullptr);
    EXPECT_EQ(KPIEdgeList::cast(nullptr), nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KPIArc::softcast(reserved)), 22u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KPIArc::cast(reserved)), 22u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KWPISession::cast(reserved)), 22u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KPICurveList::cast(reserved)), 22u);
}

TEST(TypeQueries, DyndowncastAnswersFixedCandidatesOnly) {
    xrchandle<KPIArc> arc(new KPIArc_rec);
    xobject* o = obj(arc.get());
    KPIArc* a = arc.get();
    EXPECT_EQ(o->dyndowncast(KCommon::getClassRtti()), static_cast<KCommon*>(a));
    EXPECT_EQ(o->dyndowncast(KPICurve::getClassRtti()), static_cast<KPICurve*>(a));
    EXPECT_EQ(o->dyndowncast(KPIArc::getClassRtti()), static_cast<KPIArc*>(a));
    EXPECT_EQ(o->dyndowncast(cipGetRtti_object()), o);
    EXPECT_EQ(o->dyndowncast(KPILine::getClassRtti()), nullptr);
    EXPECT_EQ(o->dyndowncast(KPISurface::getClassRtti()), nullptr);
    EXPECT_EQ(o->dyndowncast(KPIArc_rec::getClassRtti()), static_cast<KPIArc*>(a));
    EXPECT_EQ(o->dyndowncast(nullptr), nullptr);

    // A leaf of a derived family: no walk up to grandparents beyond KCommon.
    xrchandle<KPIQuilt> quilt(new KPIQuilt_rec);
    xobject* q = obj(quilt.get());
    EXPECT_EQ(q->dyndowncast(KPIItem::getClassRtti()), static_cast<KPIItem*>(quilt.get()));
    EXPECT_EQ(q->dyndowncast(KPIFace::getClassRtti()), nullptr);

    // A list is neither a KCommon nor its element.
    xrchandle<KPICurveList> list(KPICurveList::create());
    xobject* l = obj(list.get());
    EXPECT_EQ(l->giveRtti(), KPICurveList::getClassRtti());
    EXPECT_EQ(l->dyndowncast(KPICurveList::getClassRtti()), list.get());
    EXPECT_EQ(l->dyndowncast(cipGetRtti_object()), l);
    EXPECT_EQ(l->dyndowncast(KCommon::getClassRtti()), nullptr);
    EXPECT_EQ(l->dyndowncast(KPICurve::getClassRtti()), nullptr);
    EXPECT_EQ(l->dyndowncast(KPIEdgeList::getClassRtti()), nullptr);
}

TEST(TypeQueries, ListsGrowCheckIndicesAndKeepTheirType) {
    xrchandle<KPIEdgeList> edges(KPIEdgeList::create());
    ASSERT_FALSE(edges.isNull());
    EXPECT_EQ(edges->Count(), 0);
    EXPECT_EQ(indexErrorOf([&] { edges->Get(0); }), cipXIndexError::SequenceIndex);

    // Filling from the end: the first Set grows the list to its length.
    xrchandle<KPIEdge> e0(new KPIEdge_rec), e2(new KPIEdge_rec);
    edges->Set(2, e2);
    EXPECT_EQ(edges->Count(), 3);
    EXPECT_TRUE(edges->Get(0).isNull());
    edges->Set(0, e0);
    EXPECT_EQ(edges->Get(0).get(), e0.get());
    EXPECT_EQ(edges->Get(2).get(), e2.get());
    EXPECT_EQ(indexErrorOf([&] { edges->Get(3); }), cipXIndexError::SequenceIndex);
    EXPECT_EQ(indexErrorOf([&] { edges->Get(-1); }), cipXIndexError::Negative);
    // A slot whose byte offset leaves the 32-bit range: the index error that
    // callers catch, and the list as it was.
    xrchandle<KPICurveList> curves(KPICurveList::create());
    xrchandle<KPICurve> curve(new KPIArc_rec);
    EXPECT_EQ(indexErrorOf([&] { curves->Set(0x10000000, curve); }), cipXIndexError::SequenceIndex);
    EXPECT_EQ(indexErrorOf([&] { edges->Set(0x10000000, e0); }), cipXIndexError::SequenceIndex);
    EXPECT_EQ(curves->Count(), 0);
    EXPECT_EQ(edges->Count(), 3);

    EXPECT_EQ(KPIEdgeList::cast(obj(edges.get())), edges.get());
    EXPECT_EQ(mismatchOf([&] { KPIFaceList::cast(obj(edges.get())); }), "KPIItem::PIFaceList");
    EXPECT_EQ(mismatchOf([&] { KPICurveList::cast(obj(e0.get())); }), "KPIGeometry::PICurveList");

    // Count and item functions of the sequence descriptor.
    auto* seq = dynamic_cast<const xrttisequence*>(KPIEdgeList::getClassRtti());
    ASSERT_NE(seq, nullptr);
    EXPECT_EQ(seq->countFunction()(obj(edges.get())), 3);
    xany item = seq->itemFunction()(obj(edges.get()), 2);
    EXPECT_EQ(item.asObject(), obj(e2.get()));
    xany empty = seq->itemFunction()(obj(edges.get()), 1);
    EXPECT_EQ(empty.kind(), xany::kObject);
    EXPECT_EQ(empty.asObject(), nullptr);
    EXPECT_EQ(indexErrorOf([&] { seq->itemFunction()(obj(edges.get()), 3); }),
              cipXIndexError::SequenceIndex);
    xrchandle<KPIFaceList> faces(KPIFaceList::create());
    EXPECT_EQ(mismatchOf([&] { seq->countFunction()(obj(faces.get())); }), "KPIItem::PIEdgeList");
    EXPECT_EQ(mismatchOf([&] { seq->countFunction()(nullptr); }), "KPIItem::PIEdgeList");
}

TEST(TypeQueries, PropertyGettersReachTheImplementation) {
    xrchandle<KPIArc> arc(new Arc);
    const xrttiattr* radius = attrNamed(KPIArc::getClassRtti(), "Radius");
    ASSERT_NE(radius, nullptr);
    xany r = radius->getter()(obj(arc.get()));
    EXPECT_EQ(r.kind(), xany::kReal);
    EXPECT_EQ(static_cast<double>(r), 2.5);
    EXPECT_EQ(mismatchOf([&] { radius->getter()(obj(KPICurveList::create())); }),
              "KPIGeometry::PIArc");
    EXPECT_EQ(mismatchOf([&] { radius->getter()(nullptr); }), "KPIGeometry::PIArc");

    // Enumerators arrive as integers, strings as strings.
    xrchandle<KPILayer> layer(new Layer);
    xany status = attrNamed(KPILayer::getClassRtti(), "Status")->getter()(obj(layer.get()));
    EXPECT_EQ(status.kind(), xany::kInt);
    EXPECT_EQ(static_cast<int>(status), 2);
    xany name = attrNamed(KPILayer::getClassRtti(), "Name")->getter()(obj(layer.get()));
    EXPECT_EQ(name.kind(), xany::kString);
    EXPECT_EQ(std::string(static_cast<xstring>(name).c_str()), "L1");

    // Any: what GetValue returns.
    xrchandle<KPIGeneralAttribute> attr(new Attribute);
    xany value = attrNamed(KPIGeneralAttribute::getClassRtti(), "Value")->getter()(obj(attr.get()));
    EXPECT_EQ(value.kind(), xany::kReal);
    EXPECT_EQ(static_cast<double>(value), 7.25);

    // Objects: the pointee, held by the xany alone once the getter returns;
    // an empty handle gives a null object.
    xrchandle<KBox3D> box(new Box);
    xrchandle<KPIFacetedRep> rep(new FacetedRep(box));
    int32_t boxRefs = obj(box.get())->refCount();
    {
        xany outline = attrNamed(KPIFacetedRep::getClassRtti(), "Outline")->getter()(obj(rep.get()));
        EXPECT_EQ(outline.asObject(), obj(box.get()));
        EXPECT_EQ(obj(box.get())->refCount(), boxRefs + 1);
    }
    EXPECT_EQ(obj(box.get())->refCount(), boxRefs);
    xany id = attrNamed(KPIFacetedRep::getClassRtti(), "Id")->getter()(obj(rep.get()));
    EXPECT_EQ(id.kind(), xany::kInt);
    EXPECT_EQ(static_cast<int>(id), 7);

    xrchandle<KPIEdge> edge(new KPIEdge_rec);
    xany curve1 = attrNamed(KPIEdge::getClassRtti(), "Curve1")->getter()(obj(edge.get()));
    EXPECT_EQ(curve1.kind(), xany::kObject);
    EXPECT_EQ(curve1.asObject(), nullptr);
    // The getter leaves the object's count as it found it.
    EXPECT_EQ(obj(edge.get())->refCount(), 1);
}

// Every property of every interface descriptor reads the interface method
// "Get" + its name, of the class that owns the descriptor, and nothing else.
TEST(TypeQueries, EveryPropertyGetterCallsItsOwnMethod) {
    struct Case {
        const char* className;
        const xrttiobject* rtti;
        xobject* (*make)();
    };
#define ZPI_PROPERTY_CASE(Class, Parent)                                       \
    Case{#Class, Class::getClassRtti(), [] { return obj(new Class##_rec); }},
    const Case cases[] = {ZPI_INTERFACES(ZPI_PROPERTY_CASE)};
#undef ZPI_PROPERTY_CASE
    int properties = 0;
    for (const Case& c : cases) {
        auto* s = dynamic_cast<const xrttistruct*>(c.rtti);
        ASSERT_NE(s, nullptr) << c.className;
        for (int i = 0; i < s->attrCount(); ++i) {
            const xrttiattr* a = s->attr(i);
            xrchandle<xobject> held(c.make());
            recordingLog().clear();
            (void)a->getter()(held.get());
            EXPECT_EQ(recordingLog(),
                      std::vector<std::string>{std::string(c.className) + "::Get" + a->name()});
            EXPECT_EQ(held->refCount(), 1) << c.className << "." << a->name();
            ++properties;
        }
    }
    EXPECT_EQ(properties, 100);
}
