// Helpers of the call-journal tests: a fixture that records into memory and
// checks that every object it saw made is gone again, the journal text of
// an object, and the wrapper of an implementation object.
#pragma once

#include "journal/marshal/marshal.h"

#include "kkjournal.h"
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
