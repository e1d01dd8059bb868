// Helpers of the call-journal tests: a fixture that records into memory and
// checks that every object it saw made is gone again, the journal text of
// an object, and the wrapper of an implementation object.
#pragma once

#include "journal/marshal/marshal.h"

#include "kkjournal.h"
#include "kpi_session.h"
#include "process.h"
#include "xexcept.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        kkJournalSetRecording(true);
        kkJournalClear();
        live_ = xobject_live_count();
    }
    void TearDown() override {
        kkJournalSetRecording(true);
        kkJournalClear();
        EXPECT_EQ(xobject_live_count(), live_) << "xobjects leaked or destroyed twice";
    }
    // The records finished since the last call.
    static std::vector<std::string> Records() { return kkJournalTakeRecords(); }
    // The one record finished since the last call.
    static std::string Record() {
        std::vector<std::string> records = kkJournalTakeRecords();
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? std::string() : records.back();
    }

private:
    int64_t live_ = 0;
};

// The fixture of tests that journal into files: the session is made first
// (it reads the environment once), and the journal goes back to memory
// alone, with its default limits, afterwards.
class JournalFileTest : public JournalTest {
protected:
    void SetUp() override {
        KGetPISession();
        JournalTest::SetUp();
    }
    void TearDown() override {
        kkJournalSetFile(nullptr);
        kkJournalSetMemoryLimit(10000, kkJournalDefaultMemoryBytes);
        kkJournalSetMemoryWithFile(false);
        JournalTest::TearDown();
    }
};

// The journal text of an object ("KPIArc@..."), of null "null".
inline std::string Obj(const xobject* object) { return kkJournalObjectText(object); }
template <class T> std::string Obj(const xrchandle<T>& h) {
    return kkJournalObjectText(static_cast<const xobject*>(h.get()));
}

// The journal wrapper of an implementation object, seen as its interface.
template <class I> xrchandle<I> Wrapped(I* implementation) { return kkWrap(xrchandle<I>(implementation)); }

// True for a journal wrapper.
inline bool IsWrapper(KCommon* object) { return kkAsJournalWrapper(object) != nullptr; }

// The raised object of what `f` throws (null when nothing or no xthrown).
template <class F> xrcunihandle<xthrowable> Raised(F&& f) {
    try {
        f();
    } catch (const xthrown& e) {
        return xrcunihandle<xthrowable>(e.get());
    }
    return xrcunihandle<xthrowable>();
}

inline xrchandle<KCsys> UnitCsys() {
    return KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0));
}

// A model of `count` planar faces numbered from 1, seen through its journal
// wrapper. With `edgesPerLoop`, face i has one loop of the edges 10i+1 ..
// 10i+edgesPerLoop; without, no loop. Its lists are built anew from its
// records on every call.
inline xrchandle<KWPIModel> WrappedModel(int count, int edgesPerLoop = 0) {
    xrchandle<KWPIModel> model = KGetPISession()->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
    xrchandle<KPIPlane> plane = KGetPISession()->CreatePIPlane(UnitCsys());
    xrchandle<KBoxUV> uv = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
    for (int i = 1; i <= count; ++i) {
        xrchandle<KPILoopList> loops(KPILoopList::create());
        if (edgesPerLoop > 0) {
            xrchandle<xintsequence> edges(xintsequence::create());
            for (int e = 1; e <= edgesPerLoop; ++e)
                edges->Append(10 * i + e);
            loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, edges));
        }
        model->AddPIFace(model->CreatePIFace(i, uv, KPISURFACE_ORIENT_POSITIVE, plane, loops));
    }
    return kkWrap(model);
}
