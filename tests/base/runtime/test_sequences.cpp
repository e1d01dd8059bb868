#include "xsequence.h"
#include "counting.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using CSeq = xhandlesequence<Counted>;
using H = xrchandle<Counted>;

class Sequences : public LiveCountTest {
protected:
    CountLog log;
    H a{new Counted(log, 1)}, b{new Counted(log, 2)}, c{new Counted(log, 3)};

    // Ids of the elements in order (0 for an empty slot).
    static std::vector<int> ids(const CSeq& s) {
        std::vector<int> out;
        for (int i = 0; i < s.Count(); ++i) {
            H h = s.Get(i);
            out.push_back(h ? h->id() : 0);
        }
        return out;
    }
    xrchandle<CSeq> abc() {
        xrchandle<CSeq> s(new CSeq);
        s->Append(a);
        s->Append(b);
        s->Append(c);
        return s;
    }
};

TEST_F(Sequences, SetFromTheLastIndexDownFillsInOrder) {
    xrchandle<CSeq> s(new CSeq);
    s->Set(2, c);
    EXPECT_EQ(s->Count(), 3);
    EXPECT_EQ(ids(*s), (std::vector<int>{0, 0, 3}));
    s->Set(1, b);
    s->Set(0, a);
    EXPECT_EQ(ids(*s), (std::vector<int>{1, 2, 3}));
    for (const H* h : {&a, &b, &c})
        EXPECT_EQ((*h)->refCount(), 2);
    s->Set(1, c); // overwriting releases the old element
    EXPECT_EQ(b->refCount(), 1);
    EXPECT_EQ(c->refCount(), 3);
}

TEST_F(Sequences, DestroyingASequenceOfNReleasesN) {
    const int n = 1000; // several reallocations on the way
    CountLog many;
    std::vector<H> held;
    xrchandle<CSeq> s(new CSeq);
    for (int i = 0; i < n; ++i) {
        held.emplace_back(new Counted(many, i));
        s->Append(held.back());
    }
    s->AppendHandle(a);
    s->Append(a);
    EXPECT_EQ(s->Count(), n + 2);
    EXPECT_EQ(a->refCount(), 3);
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(held[size_t(i)]->refCount(), 2) << i;

    int before = many.releases;
    s.release();
    EXPECT_EQ(many.releases - before, n);
    EXPECT_EQ(many.destroyed, 0);
    EXPECT_EQ(a->refCount(), 1);
    held.clear();
    EXPECT_EQ(many.destroyed, n);
    EXPECT_EQ(many.attaches, many.releases);
}

TEST_F(Sequences, IndexChecksRaiseAndChangeNothing) {
    xrchandle<CSeq> s = abc();
    const xobject* self = s.get();
    const std::vector<int> order{1, 2, 3};
    H d(new Counted(log, 4));

    IndexRaise r = catchIndexError([&] { s->Get(-1); });
    EXPECT_TRUE(r.raised);
    EXPECT_EQ(r.kind, cipXIndexError::Negative);
    EXPECT_EQ(r.index, -1);
    r = catchIndexError([&] { s->Get(s->Count()); });
    EXPECT_EQ(r.kind, cipXIndexError::SequenceIndex);
    EXPECT_EQ(r.index, 3);
    EXPECT_EQ(r.container, self);
    // An index whose byte offset wraps in 32 bits (i * 8 == 2^32).
    EXPECT_EQ(catchIndexError([&] { s->Get(0x20000000); }).kind, cipXIndexError::SequenceIndex);

    EXPECT_EQ(catchIndexError([&] { s->Set(-1, d); }).kind, cipXIndexError::Negative);
    EXPECT_EQ(catchIndexError([&] { s->Insert(-1, d); }).kind, cipXIndexError::Negative);
    EXPECT_EQ(catchIndexError([&] { s->Insert(4, d); }).kind, cipXIndexError::SequenceIndex);
    EXPECT_EQ(catchIndexError([&] { s->Insert(0x20000000, d); }).kind,
              cipXIndexError::SequenceIndex);
    EXPECT_EQ(catchIndexError([&] { s->InsertSequence(4, *s); }).kind,
              cipXIndexError::SequenceIndex);
    // A slot past the largest size a sequence can hold (its byte offset
    // leaves the 32-bit range) is an index error, not an allocation failure.
    for (int far : {0x10000000, 0x0FFFFFFF, INT32_MAX}) {
        r = catchIndexError([&] { s->Set(far, d); });
        EXPECT_EQ(r.kind, cipXIndexError::SequenceIndex) << far;
        EXPECT_EQ(r.index, far);
        EXPECT_EQ(r.container, self);
    }
    EXPECT_EQ(d->refCount(), 1); // by-value items were given back

    EXPECT_EQ(catchIndexError([&] { s->Remove(-1, 1); }).kind, cipXIndexError::Negative);
    EXPECT_EQ(catchIndexError([&] { s->Remove(0, -1); }).kind, cipXIndexError::Negative);
    EXPECT_EQ(catchIndexError([&] { s->Remove(2, 2); }).kind, cipXIndexError::SequenceIndex);
    EXPECT_EQ(catchIndexError([&] { s->Remove(1, INT32_MAX); }).kind,
              cipXIndexError::SequenceIndex);
    EXPECT_EQ(catchIndexError([&] { s->Remove(0x20000000, 0); }).kind,
              cipXIndexError::SequenceIndex);
    EXPECT_FALSE(catchIndexError([&] { s->Remove(3, 0); }).raised);

    EXPECT_EQ(ids(*s), order);
    for (const H* h : {&a, &b, &c})
        EXPECT_EQ((*h)->refCount(), 2);
}

TEST_F(Sequences, InsertAndRemoveMoveReferencesExactly) {
    xrchandle<CSeq> s = abc();
    H d(new Counted(log, 4));
    s->Insert(1, d);
    s->Insert(4, d); // at the end
    EXPECT_EQ(ids(*s), (std::vector<int>{1, 4, 2, 3, 4}));
    EXPECT_EQ(d->refCount(), 3);
    s->Remove(0, 2);
    EXPECT_EQ(ids(*s), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(a->refCount(), 1);
    EXPECT_EQ(d->refCount(), 2);
    EXPECT_EQ(b->refCount(), 2);
    s->Remove(1, 1);
    EXPECT_EQ(ids(*s), (std::vector<int>{2, 4}));
    EXPECT_EQ(c->refCount(), 1);
    s->RemoveAll();
    EXPECT_EQ(s->Count(), 0);
    for (const H* h : {&a, &b, &c, &d})
        EXPECT_EQ((*h)->refCount(), 1);
    s->Append(a); // usable again after RemoveAll
    EXPECT_EQ(ids(*s), (std::vector<int>{1}));
}

TEST_F(Sequences, InsertSequenceIntoItself) {
    xrchandle<CSeq> s = abc();
    s->InsertSequence(1, *s);
    EXPECT_EQ(ids(*s), (std::vector<int>{1, 1, 2, 3, 2, 3}));
    s->InsertSequence(s->Count(), *s);
    s->InsertSequence(0, *s);
    EXPECT_EQ(s->Count(), 24);
    for (const H* h : {&a, &b, &c})
        EXPECT_EQ((*h)->refCount(), 1 + 8);

    xrchandle<CSeq> other(new CSeq);
    other->InsertSequence(0, *s);
    EXPECT_EQ(ids(*other), ids(*s));
    other->InsertSequence(0, *xrchandle<CSeq>(new CSeq)); // empty: no change
    EXPECT_EQ(other->Count(), 24);
    other.release();
    s.release();
    for (const H* h : {&a, &b, &c})
        EXPECT_EQ((*h)->refCount(), 1);
}

TEST_F(Sequences, ValueSequences) {
    xrchandle<xintsequence> ints(xintsequence::create());
    ints->Set(2, 30);
    EXPECT_EQ(ints->Count(), 3);
    EXPECT_EQ(ints->Get(0), 0); // new slots are zero
    ints->Set(0, 10);
    ints->Insert(1, 20);
    ints->Remove(2, 1);
    ASSERT_EQ(ints->Count(), 3);
    EXPECT_EQ(ints->Data()[0], 10);
    EXPECT_EQ(ints->Data()[1], 20);
    EXPECT_EQ(ints->Data()[2], 30);
    EXPECT_EQ(catchIndexError([&] { ints->Get(0x20000000); }).kind,
              cipXIndexError::SequenceIndex);
    EXPECT_EQ(catchIndexError([&] { ints->Insert(4, 1); }).kind, cipXIndexError::SequenceIndex);
    EXPECT_EQ(catchIndexError([&] { ints->Set(0x20000000, 1); }).kind,
              cipXIndexError::SequenceIndex);
    EXPECT_EQ(catchIndexError([&] { ints->Set(INT32_MAX, 1); }).kind,
              cipXIndexError::SequenceIndex);
    EXPECT_EQ(ints->Count(), 3);

    xrchandle<xrealsequence> reals(xrealsequence::create());
    for (int i = 0; i < 1000; ++i)
        reals->Append(i * 0.5);
    EXPECT_EQ(reals->Count(), 1000);
    EXPECT_EQ(reals->Get(999), 499.5);
    EXPECT_EQ(catchIndexError([&] { reals->Set(0x10000000, 1.0); }).kind,
              cipXIndexError::SequenceIndex);
    EXPECT_EQ(reals->Count(), 1000);
    EXPECT_TRUE(xrealsequence::isObjSameAs(reals.get()));
    EXPECT_FALSE(xintsequence::isObjKindOf(reals.get()));
}

} // namespace
