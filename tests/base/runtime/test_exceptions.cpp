#include "kvalues.h"
#include "xexcept.h"
#include "counting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using Exceptions = LiveCountTest;

// Each raiser below runs inside libzbase50.so; the catch here must match the
// exported carrier class.
TEST_F(Exceptions, SimpleCarriesItsStatusAcrossTheLibrary) {
    try {
        ThrowSimple(-10);
        FAIL() << "ThrowSimple returned";
    } catch (const xthrown& e) {
        ASSERT_NE(e.get(), nullptr);
        KXSimple* s = KXSimple::softcast(e.get());
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->GetStatus(), -10);
        EXPECT_EQ(KXKernelError::cast(e.get())->GetStatus(), -10);
        EXPECT_NE(KXException::softcast(e.get()), nullptr);
        EXPECT_EQ(KXInvalidArg::softcast(e.get()), nullptr);
        EXPECT_EQ(KXInvalidState::softcast(e.get()), nullptr);
        KCommon_i* impl = s->_CastToImpl();
        ASSERT_NE(impl, nullptr);
        EXPECT_FALSE(impl->IsJournalWrapper());
        EXPECT_EQ(impl->GetImplObject(), static_cast<xobject*>(e.get()));
        EXPECT_NE(std::string(e.what()).find("-10"), std::string::npos);
    }
    // Also reachable through the standard base.
    EXPECT_THROW(ThrowSimple(3), std::exception);
}

TEST_F(Exceptions, InvalidArgCarriesIndexAndCode) {
    try {
        ThrowInvalidArg(2, 0);
    } catch (const xthrown& e) {
        KXInvalidArg* a = KXInvalidArg::softcast(e.get());
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->GetArgIndex(), 2);
        EXPECT_EQ(a->GetCode(), 0);
        EXPECT_EQ(KXSimple::softcast(e.get()), nullptr);
    }
    try {
        KXInvalidArg_i::Throw(3, 1);
    } catch (const xthrown& e) {
        KXInvalidArg* a = KXInvalidArg::cast(e.get());
        EXPECT_EQ(a->GetArgIndex(), 3);
        EXPECT_EQ(a->GetCode(), 1);
    }
    try {
        ThrowInvalidState(4);
    } catch (const xthrown& e) {
        EXPECT_EQ(KXInvalidState::cast(e.get())->GetState(), 4);
    }
}

TEST_F(Exceptions, CastMismatchNamesTheExpectedType) {
    xrchandle<KPoint3DList> list(KPoint3DList::create());
    try {
        KPoint3D::cast(list.get());
        FAIL() << "cast did not raise";
    } catch (const xthrown& e) {
        cipXTypeMismatch* m = cipXTypeMismatch::softcast(e.get());
        ASSERT_NE(m, nullptr);
        EXPECT_STREQ(m->GetExpectedType(), KPoint3D::getClassRtti()->name());
        EXPECT_EQ(m->GetValue().asObject(), list.get());
        EXPECT_EQ(list->refCount(), 2); // the exception holds the object
    }
    EXPECT_EQ(list->refCount(), 1);
    // A cast of an exception to a class it is not.
    try {
        ThrowSimple(1);
    } catch (const xthrown& e) {
        try {
            KXInvalidArg::cast(e.get());
            FAIL() << "cast did not raise";
        } catch (const xthrown& inner) {
            EXPECT_STREQ(cipXTypeMismatch::cast(inner.get())->GetExpectedType(),
                         KXInvalidArg::getClassRtti()->name());
        }
    }
    // Null and the reserved pointer pass through cast unchanged.
    EXPECT_EQ(KPoint3D::cast(nullptr), nullptr);
    xobject* reserved = reinterpret_cast<xobject*>(xrtti_reserved_pointer);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KPoint3D::softcast(reserved)), xrtti_reserved_pointer);
}

TEST_F(Exceptions, IndexRaisers) {
    xrchandle<KPoint3D> p = KCreatePoint3D(1, 2, 3);
    IndexRaise r = catchIndexError([&] { ciphThrowInvalidArrayIndex(p.get(), 0, 5); });
    EXPECT_EQ(r.kind, cipXIndexError::ArrayIndex);
    EXPECT_EQ(r.index, 5);
    EXPECT_EQ(r.container, static_cast<xobject*>(p.get()));
    EXPECT_EQ(p->refCount(), 1); // the container is not held
    EXPECT_EQ(catchIndexError([] { ciphThrowNegativeIndex(-4); }).index, -4);
    EXPECT_EQ(catchIndexError([] { ciphThrowInvalidSeqIndex(nullptr, 9); }).kind,
              cipXIndexError::SequenceIndex);
}

} // namespace
