// Helpers of the geometry tests: a fixture that runs in one storage mode and
// restores the previous one, value makers, and catchers of raised statuses.
#pragma once

#include "kernel/geometry/geometry_base.h"
#include "kpi_session.h"

#include "process.h"
#include "xexcept.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <string>
#include <utility>

// Runs each test in the storage mode given as parameter (1 record, 0 cache),
// restores the mode found, and checks that no xobject outlives the test.
class StorageModeTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        live_ = xobject_live_count();
        saved_ = set_gw_cpid_enable(GetParam());
    }
    void TearDown() override {
        set_gw_cpid_enable(saved_);
        EXPECT_EQ(xobject_live_count(), live_) << "xobjects leaked or destroyed twice";
    }
    bool RecordMode() const { return GetParam() != 0; }

private:
    int saved_ = 1;
    int64_t live_ = 0;
};

inline std::string ModeName(const ::testing::TestParamInfo<int>& info) {
    return info.param ? "RecordMode" : "CacheMode";
}

// Sets the storage mode for a scope.
class ScopedStorageMode {
public:
    explicit ScopedStorageMode(int mode) : saved_(set_gw_cpid_enable(mode)) {}
    ~ScopedStorageMode() { set_gw_cpid_enable(saved_); }
    ScopedStorageMode(const ScopedStorageMode&) = delete;
    ScopedStorageMode& operator=(const ScopedStorageMode&) = delete;

private:
    int saved_;
};

template <class T, class... A> xrchandle<T> Make(A&&... args) {
    return xrchandle<T>(new T(std::forward<A>(args)...));
}

inline xrchandle<KCsys> MakeCsys(double ox, double oy, double oz) {
    return KCsys::Create(KCreatePoint3D(ox, oy, oz), KCreateVector3D(1, 0, 0),
                         KCreateVector3D(0, 1, 0));
}

inline xrchandle<KPoint3DList> Points(std::initializer_list<std::array<double, 3>> pts) {
    xrchandle<KPoint3DList> list(KPoint3DList::create());
    for (const auto& p : pts)
        list->Append(KCreatePoint3D(p[0], p[1], p[2]));
    return list;
}

inline xrchandle<KVector3DList> Vectors(std::initializer_list<std::array<double, 3>> vs) {
    xrchandle<KVector3DList> list(KVector3DList::create());
    for (const auto& v : vs)
        list->Append(KCreateVector3D(v[0], v[1], v[2]));
    return list;
}

inline xrchandle<xrealsequence> Reals(std::initializer_list<double> values) {
    xrchandle<xrealsequence> seq(xrealsequence::create());
    for (double v : values)
        seq->Append(v);
    return seq;
}

inline xrchandle<xintsequence> Ints(std::initializer_list<int> values) {
    xrchandle<xintsequence> seq(xintsequence::create());
    for (int v : values)
        seq->Append(v);
    return seq;
}

// What a call raised.
struct Raised {
    enum Kind { None, Simple, InvalidArg, Other } kind = None;
    int status = 0;   // Simple
    int argIndex = 0; // InvalidArg
    int code = 0;     // InvalidArg
};

template <class F> Raised Catch(F&& f) {
    try {
        f();
    } catch (const xthrown& e) {
        if (KXSimple* s = KXSimple::softcast(e.get()))
            return {Raised::Simple, s->GetStatus(), 0, 0};
        if (KXInvalidArg* a = KXInvalidArg::softcast(e.get()))
            return {Raised::InvalidArg, 0, a->GetArgIndex(), a->GetCode()};
        return {Raised::Other, 0, 0, 0};
    }
    return {};
}

#define EXPECT_SIMPLE(expr, st)                                                \
    do {                                                                       \
        Raised r_ = Catch([&] { expr; });                                      \
        EXPECT_EQ(r_.kind, Raised::Simple);                                    \
        EXPECT_EQ(r_.status, st);                                              \
    } while (0)

#define EXPECT_INVALID_ARG(expr, index, c)                                     \
    do {                                                                       \
        Raised r_ = Catch([&] { expr; });                                      \
        EXPECT_EQ(r_.kind, Raised::InvalidArg);                                \
        EXPECT_EQ(r_.argIndex, index);                                         \
        EXPECT_EQ(r_.code, c);                                                 \
    } while (0)

inline void ExpectPoint(const xrchandle<KPoint3D>& p, double x, double y, double z) {
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->x(), x);
    EXPECT_DOUBLE_EQ(p->y(), y);
    EXPECT_DOUBLE_EQ(p->z(), z);
}

inline void ExpectCsysOrigin(const xrchandle<KCsys>& c, double x, double y, double z) {
    ASSERT_TRUE(c);
    ExpectPoint(c->GetOrigin(), x, y, z);
    xrchandle<KVector3D> xa = c->GetXAxis();
    EXPECT_DOUBLE_EQ(xa->x(), 1);
    xrchandle<KVector3D> ya = c->GetYAxis();
    EXPECT_DOUBLE_EQ(ya->y(), 1);
}

// Record mode: a new equal object on every call; cache mode: the very one.
template <class T, class G> void ExpectStored(bool recordMode, const xrchandle<T>& given, G get) {
    xrchandle<T> a = get();
    xrchandle<T> b = get();
    ASSERT_TRUE(a);
    ASSERT_TRUE(b);
    if (recordMode) {
        EXPECT_NE(a.get(), given.get());
        EXPECT_NE(a.get(), b.get());
    } else {
        EXPECT_EQ(a.get(), given.get());
        EXPECT_EQ(b.get(), given.get());
    }
}
