// Test helpers: an object that records every attach, release and its own
// destruction, and a fixture that checks that a test leaves no xobject alive
// (nothing leaked) and destroyed none twice (the counter never drops below
// its start).
#pragma once

#include "process.h"
#include "xexcept.h"
#include "xobject.h"

#include <gtest/gtest.h>

#include <cstdint>

struct CountLog {
    int attaches = 0;
    int releases = 0;
    int destroyed = 0;
};

// A counted object whose log outlives it. With countable=false it answers
// isRefCountable false, like an object that lives inside something else.
class Counted : public xobject {
public:
    explicit Counted(CountLog& log, int id = 0, bool countable = true)
        : log_(log), id_(id), countable_(countable) {}
    ~Counted() override { ++log_.destroyed; }

    void xattach() override {
        ++log_.attaches;
        xobject::xattach();
    }
    void xrelease() override {
        ++log_.releases;
        xobject::xrelease(); // may destroy this
    }
    bool isDeletable() const override { return countable_; }

    int id() const { return id_; }

private:
    CountLog& log_;
    int id_;
    bool countable_;
};

class LiveCountTest : public ::testing::Test {
protected:
    void SetUp() override { start_ = xobject_live_count(); }
    void TearDown() override {
        EXPECT_EQ(xobject_live_count(), start_) << "xobjects leaked or destroyed twice";
    }

private:
    int64_t start_ = 0;
};

// What an index check raised, if anything.
struct IndexRaise {
    bool raised = false;
    int kind = -1; // cipXIndexError::Kind, or -2 for another exception
    int index = 0;
    const xobject* container = nullptr;
};

template <class F> IndexRaise catchIndexError(F&& f) {
    try {
        f();
    } catch (const xthrown& e) {
        if (cipXIndexError* x = cipXIndexError::softcast(e.get()))
            return {true, x->GetKind(), x->GetIndex(), x->GetContainer()};
        return {true, -2, 0, nullptr};
    }
    return {};
}
