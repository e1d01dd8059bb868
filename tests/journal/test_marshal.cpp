#include "api/recording_impl.h"
#include "journal/marshal/marshal.h"

#include "base/runtime/counting.h"
#include "memory_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Marshal = LiveCountTest;

// The journal wrapper of an implementation object, as its interface.
template <class I> I* wrapperOf(I* impl) {
    return I::cast(CastToImpl(impl)->GetJournalWrapper()->GetImplObject());
}

// Raises and tells whether the exception was a type mismatch.
template <class F> bool raisesMismatch(F&& f) {
    try {
        f();
    } catch (const xthrown& e) {
        return cipXTypeMismatch::softcast(e.get()) != nullptr;
    }
    return false;
}

// ---- single objects --------------------------------------------------------------

TEST_F(Marshal, WrapGivesTheJournalWrapperAndUnwrapGivesItBack) {
    xrchandle<KPIArc> impl(new KPIArc_rec);
    xrchandle<KPIArc> wrapped = WrapKPIArc(impl);
    ASSERT_FALSE(wrapped.isNull());
    EXPECT_NE(wrapped.get(), impl.get());
    EXPECT_EQ(wrapped.get(), wrapperOf(impl.get()));
    EXPECT_TRUE(IsAWrapper(wrapped));
    EXPECT_FALSE(IsAWrapper(impl));
    // A wrapper stays itself; the same implementation gets the same wrapper.
    EXPECT_EQ(WrapKPIArc(wrapped).get(), wrapped.get());
    EXPECT_EQ(WrapKPIArc(impl).get(), wrapped.get());
    // Back to the implementation, as target and as argument.
    EXPECT_EQ(UnwrapKPIArc(wrapped).get(), impl.get());
    EXPECT_EQ(UnwrapItemKPIArc(wrapped).get(), impl.get());
    EXPECT_EQ(UnwrapItemKPIArc(impl).get(), impl.get());
}

// A wrapper and its implementation object share one count: converting one
// into the other hands the reference over, and the last one held keeps
// both.
TEST_F(Marshal, ConversionsHandTheReferenceOver) {
    xrchandle<KPIDatum> impl(new KPIDatum_rec);
    KPIDatum* object = impl.get();
    xrchandle<KPIDatum> wrapped = WrapKPIDatum(std::move(impl));
    ASSERT_TRUE(IsAWrapper(wrapped));
    EXPECT_EQ(object->refCount(), 1);
    xrchandle<KPIDatum> back = UnwrapItemKPIDatum(std::move(wrapped));
    EXPECT_EQ(back.get(), object);
    EXPECT_EQ(object->refCount(), 1);
    wrapped = WrapKPIDatum(back);
    back.release();
    EXPECT_EQ(UnwrapKPIDatum(wrapped).get(), object);
    EXPECT_EQ(object->refCount(), 1);
}

TEST_F(Marshal, ParentTypesAndGenericOverloads) {
    xrchandle<KPICurve> impl(new KPIEllipse_rec);
    xrchandle<KPICurve> wrapped = kkWrap(impl);
    EXPECT_TRUE(KPIEllipse::isObjKindOf(wrapped.get()));
    EXPECT_EQ(kkUnwrapTarget(wrapped).get(), impl.get());
    EXPECT_EQ(kkUnwrapItem(wrapped).get(), impl.get());
    xrchandle<KPIMassUnit> unit(new KPIMassUnit_rec);
    xrchandle<KPIMassUnit> unitWrapper = WrapKPIMassUnit(unit);
    EXPECT_TRUE(IsAWrapper(unitWrapper));
    EXPECT_EQ(UnwrapKPIMassUnit(unitWrapper).get(), unit.get());
}

TEST_F(Marshal, NullStaysNull) {
    EXPECT_TRUE(WrapKPIFace(xrchandle<KPIFace>()).isNull());
    EXPECT_TRUE(UnwrapItemKPIFace(xrchandle<KPIFace>()).isNull());
    EXPECT_FALSE(IsAWrapper(xrchandle<KPIFace>()));
    EXPECT_TRUE(WrapKCStream(xrchandle<KCStream>()).isNull());
    EXPECT_TRUE(UnwrapItemKCStream(xrchandle<KCStream>()).isNull());
    EXPECT_FALSE(IsAWrapper(xrchandle<KCStream>()));
}

TEST_F(Marshal, ConversionsReleaseTheirArgument) {
    xrchandle<KPIDatum> impl(new KPIDatum_rec);
    const int32_t before = impl->refCount();
    {
        xrchandle<KPIDatum> wrapped = WrapKPIDatum(impl);
        const int32_t wrapperRefs = wrapped->refCount();
        UnwrapItemKPIDatum(wrapped);
        UnwrapKPIDatum(wrapped);
        IsAWrapper(wrapped);
        WrapKPIDatum(wrapped);
        EXPECT_EQ(wrapped->refCount(), wrapperRefs);
    }
    // The wrapper stays with the object, holding nothing.
    EXPECT_EQ(impl->refCount(), before);
    EXPECT_NE(CastToImpl(impl.get())->PeekJournalWrapper(), nullptr);
}

// An implementation whose wrapper is of another interface.
class MisWrappedArc : public KPIArc_rec {
public:
    MisWrappedArc() : line_(new KPILine_rec) {}

protected:
    KCommon_j* MakeJournalWrapper() override {
        KCommon_i* line = CastToImpl(line_.get());
        return KFindJournalWrapperMaker(KPILine::getClassRtti())(line);
    }

private:
    xrchandle<KPILine> line_;
};

TEST_F(Marshal, AnswerOfAnotherTypeRaisesAndLeavesNoReference) {
    xrchandle<KPIArc> impl(new MisWrappedArc);
    const int32_t before = impl->refCount();
    EXPECT_TRUE(raisesMismatch([&] { WrapKPIArc(impl); }));
    EXPECT_EQ(impl->refCount(), before);
}

// An interface object that the caller made: its descriptor is also of the
// KCCommon kind.
class ClientArc : public KPIArc_rec, public KCCommon {
public:
    static const xrttiobject* type() {
        static const xrttiobject* const t = [] {
            auto* s = new xrttistruct;
            const xrttiobject* bases[2] = {KPIArc::getClassRtti(), KCCommon::getClassRtti()};
            s->initializeRttiStruct("KTest::ClientArc", 0, 2, bases, 0, nullptr);
            return s;
        }();
        return t;
    }
    const xrttiobject* giveRtti() const override { return type(); }
    void* dyndowncast(const xrttiobject* t) override {
        if (t && t->isSameType(KCCommon::getClassRtti()))
            return static_cast<KCCommon*>(this);
        return KPIArc::dyndowncast(t);
    }
};

TEST_F(Marshal, CallerMadeObjectsPassThroughTheClientServices) {
    xrchandle<KPIArc> mine(new ClientArc);
    ASSERT_TRUE(KCCommon::isObjKindOf(mine.get()));
    EXPECT_EQ(WrapKPIArc(mine).get(), mine.get());
    EXPECT_EQ(UnwrapKPIArc(mine).get(), mine.get());
    EXPECT_EQ(UnwrapItemKPIArc(mine).get(), mine.get());
    EXPECT_FALSE(IsAWrapper(mine));
    // No journal wrapper was made for it.
    EXPECT_EQ(CastToImpl(mine.get())->PeekJournalWrapper(), nullptr);
}

// ---- exceptions --------------------------------------------------------------------

TEST_F(Marshal, ExceptionsHaveJournalWrappers) {
    try {
        ThrowSimple(-3);
    } catch (const xthrown& e) {
        xrchandle<KXException> x(KXException::cast(e.get()));
        KCommon_j* wrapper = x->_CastToImpl()->GetJournalWrapper();
        ASSERT_NE(wrapper, nullptr);
        xrchandle<KXSimple> w(KXSimple::cast(wrapper->GetImplObject()));
        ASSERT_FALSE(w.isNull());
        EXPECT_NE(static_cast<KXException*>(w.get()), x.get());
        EXPECT_EQ(w->GetStatus(), -3);
        EXPECT_TRUE(KXException::isObjKindOf(w.get()));
        EXPECT_EQ(w->_CastToImpl(), x->_CastToImpl());
        EXPECT_EQ(x->_CastToImpl()->GetJournalWrapper(), wrapper);
    }
    try {
        ThrowInvalidArg(3, 0);
    } catch (const xthrown& e) {
        KCommon_j* wrapper = KXException::cast(e.get())->_CastToImpl()->GetJournalWrapper();
        xrchandle<KXInvalidArg> w(KXInvalidArg::cast(wrapper->GetImplObject()));
        EXPECT_EQ(w->GetArgIndex(), 3);
        EXPECT_EQ(w->GetCode(), 0);
    }
}

// ---- caller's streams ------------------------------------------------------------------

TEST_F(Marshal, CallerStreamIsWrappedIntoAClientWrapper) {
    auto* raw = new MemoryStream;
    xrchandle<KCStream> stream(raw);
    EXPECT_FALSE(IsAWrapper(stream));
    xrchandle<KCStream> client = WrapKCStream(stream);
    ASSERT_FALSE(client.isNull());
    EXPECT_NE(client.get(), stream.get());
    EXPECT_TRUE(IsAWrapper(client));
    EXPECT_EQ(client->Write("abc", 3), 3);
    EXPECT_EQ(client->GetPos(), 3);
    EXPECT_EQ(raw->data, "abc");
    // The client wrapper stays itself both ways; as a target it stands for
    // the caller's stream.
    EXPECT_EQ(WrapKCStream(client).get(), client.get());
    EXPECT_EQ(UnwrapItemKCStream(client).get(), client.get());
    xrcunihandle<xobject> target = UnwrapClientStream(client.get(), client, true);
    EXPECT_EQ(target.get(), static_cast<xobject*>(stream.get()));
    // A caller's stream without implementation unwraps to itself.
    EXPECT_EQ(UnwrapItemKCStream(stream).get(), stream.get());
    // The wrapper holds the caller's stream.
    stream.release();
    EXPECT_EQ(client->Write("d", 1), 1);
    EXPECT_EQ(raw->data, "abcd");
}

// A stream whose implementation object is the journal wrapper of an arc.
class StreamOverArcWrapper : public MemoryStream {
public:
    StreamOverArcWrapper() {
        xrchandle<KPIArc> arc(new KPIArc_rec);
        arcWrapper_ = wrapperOf(arc.get());
    }
    void* _CastToImpl() override {
        return static_cast<KCommon_i*>(CastToImpl(arcWrapper_.get())->GetJournalWrapper());
    }

private:
    xrchandle<KPIArc> arcWrapper_; // holds the arc through its wrapper
};

TEST_F(Marshal, StreamOverAWrapperOfAnotherKindRaisesMismatch) {
    xrchandle<KCStream> stream(new StreamOverArcWrapper);
    EXPECT_TRUE(IsAWrapper(stream));
    // A stream whose implementation object is a journal wrapper is wrapped
    // to itself.
    EXPECT_EQ(WrapKCStream(stream).get(), stream.get());
    const int32_t before = stream->refCount();
    EXPECT_TRUE(raisesMismatch([&] { UnwrapItemKCStream(stream); }));
    EXPECT_EQ(stream->refCount(), before);
}

// ---- lists --------------------------------------------------------------------------------

// Logs the order in which the implementations are asked for their wrappers.
std::vector<int>& wrapOrder() {
    static std::vector<int> order;
    return order;
}

class LoggedLine : public KPILine_rec {
public:
    explicit LoggedLine(int id) : id_(id) {}

protected:
    KCommon_j* MakeJournalWrapper() override {
        wrapOrder().push_back(id_);
        return KPILine_rec::MakeJournalWrapper();
    }

private:
    int id_;
};

TEST_F(Marshal, ListsConvertElementByElementInOrder) {
    xrchandle<KPICurve> a(new LoggedLine(0)), c(new LoggedLine(2));
    xrchandle<KPICurveList> source(KPICurveList::create());
    source->Set(0, a);
    source->Set(2, c); // index 1 stays null
    wrapOrder().clear();
    xrchandle<KPICurveList> wrapped = WrapKPICurveList(source);
    // Filled from the last index down.
    EXPECT_EQ(wrapOrder(), (std::vector<int>{2, 0}));
    ASSERT_EQ(wrapped->Count(), 3);
    EXPECT_NE(wrapped.get(), source.get());
    EXPECT_EQ(wrapped->Get(0).get(), wrapperOf(a.get()));
    EXPECT_TRUE(wrapped->Get(1).isNull());
    EXPECT_EQ(wrapped->Get(2).get(), wrapperOf(c.get()));
    // The source is unchanged.
    EXPECT_EQ(source->Get(0).get(), a.get());
    EXPECT_TRUE(IsAWrapper(wrapped));

    xrchandle<KPICurveList> back = UnwrapKPICurveList(wrapped);
    ASSERT_EQ(back->Count(), 3);
    EXPECT_NE(back.get(), source.get());
    EXPECT_EQ(back->Get(0).get(), a.get());
    EXPECT_TRUE(back->Get(1).isNull());
    EXPECT_EQ(back->Get(2).get(), c.get());
    EXPECT_NE(UnwrapKPICurveList(wrapped).get(), back.get());
}

// A list that no one else holds (as one an implementation makes for the
// call) is converted where it is, in the same order; a value list is
// handed on.
TEST_F(Marshal, ListHeldByNoOneElseIsConvertedWhereItIs) {
    xrchandle<KPICurve> a(new LoggedLine(0)), c(new LoggedLine(2));
    xrchandle<KPICurveList> source(KPICurveList::create());
    source->Set(0, a);
    source->Set(2, c);
    KPICurveList* list = source.get();
    wrapOrder().clear();
    xrchandle<KPICurveList> wrapped = WrapKPICurveList(std::move(source));
    EXPECT_EQ(wrapOrder(), (std::vector<int>{2, 0}));
    EXPECT_EQ(wrapped.get(), list);
    ASSERT_EQ(wrapped->Count(), 3);
    EXPECT_EQ(wrapped->Get(0).get(), wrapperOf(a.get()));
    EXPECT_TRUE(wrapped->Get(1).isNull());
    EXPECT_EQ(wrapped->Get(2).get(), wrapperOf(c.get()));

    xrchandle<KPoint3DList> points(KPoint3DList::create());
    points->Set(0, KCreatePoint3D(1, 2, 3));
    KPoint3DList* values = points.get();
    EXPECT_EQ(WrapKPoint3DList(std::move(points)).get(), values);
}

TEST_F(Marshal, EmptyAndNullLists) {
    xrchandle<KPIFaceList> empty(KPIFaceList::create());
    xrchandle<KPIFaceList> made = WrapKPIFaceList(empty);
    ASSERT_FALSE(made.isNull());
    EXPECT_NE(made.get(), empty.get());
    EXPECT_EQ(made->Count(), 0);
    EXPECT_EQ(UnwrapKPIFaceList(empty)->Count(), 0);
    EXPECT_TRUE(WrapKPIFaceList(xrchandle<KPIFaceList>()).isNull());
    EXPECT_TRUE(UnwrapKPIFaceList(xrchandle<KPIFaceList>()).isNull());
    EXPECT_FALSE(IsAWrapper(xrchandle<KPIFaceList>()));
}

TEST_F(Marshal, ValueListsShareTheirElements) {
    xrchandle<KPoint3DList> points(KPoint3DList::create());
    points->Set(0, KCreatePoint3D(1, 2, 3));
    points->Set(1, KCreatePoint3D(4, 5, 6));
    xrchandle<KPoint3DList> copy = WrapKPoint3DList(points);
    xrchandle<KPoint3DList> other = UnwrapKPoint3DList(points);
    ASSERT_EQ(copy->Count(), 2);
    EXPECT_NE(copy.get(), points.get());
    EXPECT_NE(other.get(), copy.get());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(copy->Get(i).get(), points->Get(i).get());
        EXPECT_EQ(other->Get(i).get(), points->Get(i).get());
    }
    xrchandle<KVector3DList> vectors(KVector3DList::create());
    EXPECT_EQ(kkWrap(vectors)->Count(), 0);
}

// A quilt whose journal wrapper cannot be made.
class UnwrappableQuilt : public KPIQuilt_rec {
protected:
    KCommon_j* MakeJournalWrapper() override { ThrowSimple(-10); }
};

TEST_F(Marshal, FailingElementStopsTheListConversion) {
    xrchandle<KPIQuiltList> quilts(KPIQuiltList::create());
    quilts->Set(0, xrchandle<KPIQuilt>(new UnwrappableQuilt));
    quilts->Set(1, xrchandle<KPIQuilt>(new KPIQuilt_rec));
    int status = 0;
    try {
        WrapKPIQuiltList(quilts);
    } catch (const xthrown& e) {
        if (KXSimple* x = KXSimple::softcast(e.get()))
            status = x->GetStatus();
    }
    EXPECT_EQ(status, -10);
    EXPECT_EQ(quilts->Count(), 2);
}

} // namespace
