// The journaled call: what each record holds (name, target, inputs, return
// value or exception) and what the caller and the implementation receive.
#include "journal_test_util.h"

#include "api/recording_impl.h"

#include "kcommon.h"
#include "kwrap.h"
#include "memory_stream.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class Arc : public KPIArc_rec {
public:
    KPICurveType GetPICurveType() override { return KPICURV_ARC; }
    double GetEnd0() override { return 0.5; }
    double GetEnd1() override { return 1.5; }
    double GetRadius() override { return 2.5; }
    xrchandle<KCsys> GetCsys() override { return csys; }
    xrchandle<KCsys> csys = KCsys::Create(KCreatePoint3D(1, 2, 3), KCreateVector3D(1, 0, 0),
                                          KCreateVector3D(0, 1, 0));
};

// A kernel error of a class that has no journal wrapper.
class UnwrappableError : public KCommon_i, public virtual KXException {
public:
    KCommon_i* _CastToImpl() override { return this; }
    xobject* GetImplObject() override { return this; }
};

// GetReferenceColorIndex answers which + 100; some values raise instead.
class ElementColor : public KPIElementColor_rec {
public:
    static constexpr int kSimple = -1, kIndexError = -2, kCxx = -3, kUnwrappable = -4;
    int GetReferenceColorIndex(int which) override {
        if (which == kSimple)
            ThrowSimple(-2);
        if (which == kIndexError) {
            otherRaised = new cipXIndexError(cipXIndexError::Negative, nullptr, 0, which);
            xthrow(otherRaised);
        }
        if (which == kCxx)
            throw std::runtime_error("not a raised object");
        if (which == kUnwrappable) {
            otherRaised = new UnwrappableError;
            xthrow(otherRaised);
        }
        return which + 100;
    }
    xthrowable* otherRaised = nullptr;
};

class Layer : public KPILayer_rec {
public:
    KPILayerStatus GetStatus() override { return KPILAYER_STATUS_BLANKED; }
    void SetStatus(KPILayerStatus status) override { statusSet = status; }
    void AddPIItem(xrchandle<KPIItem> item) override { itemGiven = item; }
    void SetLayerId(int id) override {
        if (id < 0)
            ThrowInvalidArg(1, 1);
    }
    KPILayerStatus statusSet = KPILAYER_STATUS_NORMAL;
    xrchandle<KPIItem> itemGiven;
};

class Face : public KPIFace_rec {
public:
    int GetId() override { return 7; }
    KPIItemType GetItemType() override { return KPI_FACE; }
    KPISurfOrient GetPISurfaceOrientation() override { return KPISURFACE_ORIENT_NEGATIVE; }
};

class Edge : public KPIEdge_rec {
public:
    KTraversal GetTraversal1() override { return KTRAV_OPPOSITE; }
};

class SrfRev : public KPISrfRev_rec {
public:
    xrchandle<KPICurve> GetCurve() override { return curve; }
    xrchandle<KPICurve> curve{new Arc};
};

class Composite : public KPICompositeCurve_rec {
public:
    Composite() {
        curves->Append(xrchandle<KPICurve>(new Arc));
        curves->Append(xrchandle<KPICurve>(new Arc));
    }
    xrchandle<KPICurveList> GetCurves() override { return curves; }
    xrchandle<KPICurveList> curves{KPICurveList::create()};
};

class ModelExt : public KWPIModelExt_rec {
public:
    void SetPILayers(xrchandle<KPILayerList> layers) override { layersGiven = layers; }
    xrchandle<KPIGeneralAttribute> CreatePIGeneralAttribute(int, KPIItemType, const char* name,
                                                            xany value) override {
        nameGiven = name;
        valueGiven = value;
        return nullptr;
    }
    xrchandle<KPILayerList> layersGiven;
    const char* nameGiven = nullptr;
    xany valueGiven;
};

class Model : public KWPIModel_rec {
public:
    void SaveAsNeutral(xrchandle<KCStream> stream) override { streamGiven = stream; }
    xrchandle<KCStream> streamGiven;
};

using JournaledCall = JournalTest;

TEST_F(JournaledCall, GetterWritesNoInputsAndItsReturnValue) {
    xrchandle<KPIArc> arc = Wrapped<KPIArc>(new Arc);
    EXPECT_EQ(arc->GetRadius(), 2.5);
    EXPECT_EQ(Record(), Obj(arc) + ".GetRadius() -> 2.5");
    // Operations sharing one signature write records of one form, each with
    // its own name and answer.
    EXPECT_EQ(arc->GetEnd0(), 0.5);
    EXPECT_EQ(arc->GetEnd1(), 1.5);
    EXPECT_EQ(Records(), (std::vector<std::string>{Obj(arc) + ".GetEnd0() -> 0.5",
                                                   Obj(arc) + ".GetEnd1() -> 1.5"}));
    // A value object comes back as the very object the implementation gave.
    xrchandle<KCsys> csys = arc->GetCsys();
    EXPECT_EQ(csys.get(), dynamic_cast<Arc*>(CastToImpl(arc.get()))->csys.get());
    EXPECT_EQ(Record().rfind(Obj(arc) + ".GetCsys() -> KCsys(1,2,3,", 0), 0u);
}

TEST_F(JournaledCall, ArgumentAndResultInOneRecord) {
    xrchandle<KPIElementColor> color = Wrapped<KPIElementColor>(new ElementColor);
    EXPECT_EQ(color->GetReferenceColorIndex(7), 107);
    EXPECT_EQ(Record(), Obj(color) + ".GetReferenceColorIndex(7) -> 107");
}

TEST_F(JournaledCall, SetterWritesItsInputAndNoReturnValue) {
    xrchandle<KPILayer> layer = Wrapped<KPILayer>(new Layer);
    layer->SetStatus(KPILAYER_STATUS_DISPLAY);
    EXPECT_EQ(dynamic_cast<Layer*>(CastToImpl(layer.get()))->statusSet, KPILAYER_STATUS_DISPLAY);
    // Layer statuses are bare integers both ways.
    EXPECT_EQ(layer->GetStatus(), KPILAYER_STATUS_BLANKED);
    EXPECT_EQ(Records(), (std::vector<std::string>{Obj(layer) + ".SetStatus(1)",
                                                   Obj(layer) + ".GetStatus() -> 2"}));
}

TEST_F(JournaledCall, EnumerationsInTheirJournalForms) {
    xrchandle<KPIFace> face = Wrapped<KPIFace>(new Face);
    xrchandle<KPIEdge> edge = Wrapped<KPIEdge>(new Edge);
    xrchandle<KPIArc> arc = Wrapped<KPIArc>(new Arc);
    EXPECT_EQ(face->GetPISurfaceOrientation(), KPISURFACE_ORIENT_NEGATIVE);
    EXPECT_EQ(face->GetItemType(), KPI_FACE);
    EXPECT_EQ(face->GetId(), 7);
    EXPECT_EQ(edge->GetTraversal1(), KTRAV_OPPOSITE);
    EXPECT_EQ(arc->GetPICurveType(), KPICURV_ARC);
    EXPECT_EQ(Records(), (std::vector<std::string>{
                             Obj(face) + ".GetPISurfaceOrientation() -> KPISurfOrient(2)",
                             Obj(face) + ".GetItemType() -> 1",
                             Obj(face) + ".GetId() -> 7",
                             Obj(edge) + ".GetTraversal1() -> KTraversal(2)",
                             Obj(arc) + ".GetPICurveType() -> KPICurveType(2)",
                         }));
}

TEST_F(JournaledCall, ObjectResultReachesTheCallerAsItsWrapper) {
    xrchandle<KPISrfRev> surface = Wrapped<KPISrfRev>(new SrfRev);
    KPICurve* curveImpl = dynamic_cast<SrfRev*>(CastToImpl(surface.get()))->curve.get();
    xrchandle<KPICurve> curve = surface->GetCurve();
    ASSERT_TRUE(curve);
    EXPECT_NE(curve.get(), curveImpl);
    EXPECT_TRUE(IsWrapper(curve.get()));
    EXPECT_EQ(CastToImpl(curve.get()), CastToImpl(curveImpl));
    EXPECT_EQ(Record(), Obj(surface) + ".GetCurve() -> " + Obj(curve));
    // The same implementation object gives the same wrapper while it lives.
    EXPECT_EQ(surface->GetCurve().get(), curve.get());
    Records();
    // Calls on the wrapped result are journaled in their turn.
    EXPECT_EQ(KPIArc::cast(curve.get())->GetRadius(), 2.5);
    EXPECT_EQ(Record(), Obj(curve) + ".GetRadius() -> 2.5");
}

TEST_F(JournaledCall, NullResultStaysNull) {
    xrchandle<KWPIModelExt> ext = Wrapped<KWPIModelExt>(new ModelExt);
    EXPECT_FALSE(ext->GetPIItemReferenceColor(3));
    EXPECT_EQ(Record(), Obj(ext) + ".GetPIItemReferenceColor(3) -> null");
}

TEST_F(JournaledCall, ListResultHoldsWrappers) {
    xrchandle<KPICompositeCurve> composite = Wrapped<KPICompositeCurve>(new Composite);
    xrchandle<KPICurveList> impls = dynamic_cast<Composite*>(CastToImpl(composite.get()))->curves;
    xrchandle<KPICurveList> curves = composite->GetCurves();
    ASSERT_TRUE(curves);
    EXPECT_NE(curves.get(), impls.get());
    ASSERT_EQ(curves->Count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(IsWrapper(curves->Get(i).get()));
        EXPECT_EQ(CastToImpl(curves->Get(i).get()), CastToImpl(impls->Get(i).get()));
    }
    EXPECT_EQ(Record(), Obj(composite) + ".GetCurves() -> sequence<KPICurveList,KPICurve>(" +
                            Obj(curves->Get(0)) + "," + Obj(curves->Get(1)) + ")");
}

TEST_F(JournaledCall, WrapperArgumentReachesTheImplementationUnwrapped) {
    xrchandle<KPILayer> layer = Wrapped<KPILayer>(new Layer);
    xrchandle<KPIFace> faceImpl(new Face);
    xrchandle<KPIFace> face = Wrapped<KPIFace>(faceImpl.get());
    layer->AddPIItem(face);
    Layer* impl = dynamic_cast<Layer*>(CastToImpl(layer.get()));
    EXPECT_EQ(impl->itemGiven.get(), static_cast<KPIItem*>(faceImpl.get()));
    EXPECT_EQ(Record(), Obj(layer) + ".AddPIItem(" + Obj(face) + ")");

    // An item that is not a wrapper is journaled and handed on in its
    // caller's side form: its wrapper.
    layer->AddPIItem(faceImpl);
    EXPECT_EQ(impl->itemGiven.get(), static_cast<KPIItem*>(face.get()));
    EXPECT_EQ(Record(), Obj(layer) + ".AddPIItem(" + Obj(face) + ")");

    layer->AddPIItem(nullptr);
    EXPECT_FALSE(impl->itemGiven);
    EXPECT_EQ(Record(), Obj(layer) + ".AddPIItem(null)");
    impl->itemGiven.release();
}

TEST_F(JournaledCall, ListArgumentIsUnwrappedIntoANewList) {
    xrchandle<KWPIModelExt> ext = Wrapped<KWPIModelExt>(new ModelExt);
    xrchandle<KPILayer> layerImpl(new Layer);
    xrchandle<KPILayer> layer = Wrapped<KPILayer>(layerImpl.get());
    xrchandle<KPILayerList> layers(KPILayerList::create());
    layers->Append(layer);
    ext->SetPILayers(layers);
    ModelExt* impl = dynamic_cast<ModelExt*>(CastToImpl(ext.get()));
    ASSERT_TRUE(impl->layersGiven);
    EXPECT_NE(impl->layersGiven.get(), layers.get());
    ASSERT_EQ(impl->layersGiven->Count(), 1);
    EXPECT_EQ(impl->layersGiven->Get(0).get(), layerImpl.get());
    // The caller's list is unchanged, and it is what the journal shows.
    EXPECT_EQ(layers->Get(0).get(), layer.get());
    EXPECT_EQ(Record(),
              Obj(ext) + ".SetPILayers(sequence<KPILayerList,KPILayer>(" + Obj(layer) + "))");
    impl->layersGiven.release();
}

TEST_F(JournaledCall, PlainArgumentsCrossUnchanged) {
    xrchandle<KWPIModelExt> ext = Wrapped<KWPIModelExt>(new ModelExt);
    ModelExt* impl = dynamic_cast<ModelExt*>(CastToImpl(ext.get()));
    const char* name = "colour";
    xrchandle<KPILayer> held(new Layer);
    xany value(static_cast<xobject*>(held.get()));
    EXPECT_FALSE(ext->CreatePIGeneralAttribute(4, KPI_EDGE, name, value));
    // The text pointer itself; the xany's object is not wrapped.
    EXPECT_EQ(impl->nameGiven, name);
    EXPECT_EQ(impl->valueGiven.asObject(), static_cast<xobject*>(held.get()));
    EXPECT_EQ(Record(), Obj(ext) + ".CreatePIGeneralAttribute(4,0,\"colour\"," +
                            Obj(static_cast<xobject*>(held.get())) + ") -> null");
    impl->valueGiven = xany();
}

TEST_F(JournaledCall, CallersStreamReachesTheImplementationAsItsClientWrapper) {
    xrchandle<KWPIModel> model = Wrapped<KWPIModel>(new Model);
    xrchandle<KCStream> stream(new MemoryStream);
    model->SaveAsNeutral(stream);
    Model* impl = dynamic_cast<Model*>(CastToImpl(model.get()));
    ASSERT_TRUE(impl->streamGiven);
    EXPECT_NE(impl->streamGiven.get(), stream.get());
    EXPECT_NE(kkAsJournalWrapper(static_cast<KCCommon*>(impl->streamGiven.get())), nullptr);
    EXPECT_EQ(impl->streamGiven->Write("abc", 3), 3);
    EXPECT_EQ(Record(), Obj(model) + ".SaveAsNeutral(" + Obj(impl->streamGiven) + ")");
    impl->streamGiven.release();
}

TEST_F(JournaledCall, KernelErrorIsRecordedAndRethrownAsItsWrapper) {
    xrchandle<KPIElementColor> color = Wrapped<KPIElementColor>(new ElementColor);
    xrcunihandle<xthrowable> raised =
        Raised([&] { color->GetReferenceColorIndex(ElementColor::kSimple); });
    ASSERT_FALSE(raised.isNull());
    KXException* exception = KXException::softcast(raised.get());
    ASSERT_NE(exception, nullptr);
    // The caller holds the exception's journal wrapper, which answers like
    // the exception itself.
    ASSERT_NE(dynamic_cast<KCommon_j*>(exception), nullptr);
    KXSimple* simple = KXSimple::softcast(raised.get());
    ASSERT_NE(simple, nullptr);
    EXPECT_EQ(simple->GetStatus(), -2);
    EXPECT_EQ(Record(), Obj(color) + ".GetReferenceColorIndex(-1) ! " + Obj(raised.get()));
}

TEST_F(JournaledCall, KernelErrorWithoutWrapperPassesAsItIs) {
    xrchandle<KPIElementColor> color = Wrapped<KPIElementColor>(new ElementColor);
    ElementColor* impl = dynamic_cast<ElementColor*>(CastToImpl(color.get()));
    xrcunihandle<xthrowable> raised =
        Raised([&] { color->GetReferenceColorIndex(ElementColor::kUnwrappable); });
    EXPECT_EQ(raised.get(), impl->otherRaised);
    EXPECT_EQ(Record(), Obj(color) + ".GetReferenceColorIndex(-4) ! " + Obj(raised.get()));
}

TEST_F(JournaledCall, SetterFailureKeepsItsInput) {
    xrchandle<KPILayer> layer = Wrapped<KPILayer>(new Layer);
    xrcunihandle<xthrowable> raised = Raised([&] { layer->SetLayerId(-5); });
    KXInvalidArg* invalid = KXInvalidArg::softcast(raised.get());
    ASSERT_NE(invalid, nullptr);
    EXPECT_EQ(invalid->GetArgIndex(), 1);
    EXPECT_EQ(invalid->GetCode(), 1);
    EXPECT_EQ(Record(), Obj(layer) + ".SetLayerId(-5) ! " + Obj(raised.get()));
}

// Raised objects that are not interface exceptions and C++ exceptions pass
// to the caller unchanged; the record keeps its inputs and says that the
// call did not complete.
TEST_F(JournaledCall, OtherFailuresPassUnchangedAndMarkTheRecord) {
    xrchandle<KPIElementColor> color = Wrapped<KPIElementColor>(new ElementColor);
    ElementColor* impl = dynamic_cast<ElementColor*>(CastToImpl(color.get()));
    xrcunihandle<xthrowable> raised =
        Raised([&] { color->GetReferenceColorIndex(ElementColor::kIndexError); });
    EXPECT_EQ(raised.get(), impl->otherRaised);
    EXPECT_EQ(Record(), Obj(color) + ".GetReferenceColorIndex(-2) ! not completed");

    try {
        color->GetReferenceColorIndex(ElementColor::kCxx);
        ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "not a raised object");
    }
    EXPECT_EQ(Record(), Obj(color) + ".GetReferenceColorIndex(-3) ! not completed");

    // A call that completes, and one that ends with an interface exception,
    // are not marked.
    EXPECT_EQ(color->GetReferenceColorIndex(1), 101);
    EXPECT_EQ(Record(), Obj(color) + ".GetReferenceColorIndex(1) -> 101");
    Raised([&] { color->GetReferenceColorIndex(ElementColor::kSimple); });
    EXPECT_EQ(Record().find("not completed"), std::string::npos);
}

TEST_F(JournaledCall, NotRecordingChangesNothingButTheJournal) {
    xrchandle<KPIElementColor> color = Wrapped<KPIElementColor>(new ElementColor);
    xrchandle<KPISrfRev> surface = Wrapped<KPISrfRev>(new SrfRev);
    kkJournalSetRecording(false);
    EXPECT_EQ(color->GetReferenceColorIndex(1), 101);
    xrchandle<KPICurve> curve = surface->GetCurve();
    EXPECT_TRUE(IsWrapper(curve.get()));
    xrcunihandle<xthrowable> raised =
        Raised([&] { color->GetReferenceColorIndex(ElementColor::kSimple); });
    ASSERT_NE(KXSimple::softcast(raised.get()), nullptr);
    EXPECT_NE(dynamic_cast<KCommon_j*>(KXSimple::softcast(raised.get())), nullptr);
    EXPECT_TRUE(Records().empty());
}

} // namespace
