// Helpers of the metadata, facet and model-extension tests: the check of a
// raised argument error, and a small topology item with a chosen id.
#pragma once

#include "kernel/kpi_impl.h"
#include "xexcept.h"

#include <gtest/gtest.h>

#include <string>

// Whether `f` raises KXInvalidArg with this argument index and code.
template <class F>
::testing::AssertionResult RaisesInvalidArg(F&& f, int index, int code) {
    try {
        f();
    } catch (const xthrown& e) {
        KXInvalidArg* arg = KXInvalidArg::softcast(e.get());
        if (!arg)
            return ::testing::AssertionFailure() << "raised something else: " << e.what();
        if (arg->GetArgIndex() != index || arg->GetCode() != code)
            return ::testing::AssertionFailure()
                   << "raised (" << arg->GetArgIndex() << ", " << arg->GetCode() << ")";
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "nothing raised";
}

// A topology item that answers a chosen id and type.
class TestItem : public KCommon_i, public virtual KPIItem {
    ZPI_IMPLEMENTS(KPIItem)
public:
    TestItem(int id, KPIItemType type) : id_(id), type_(type) {}
    int GetId() override { return id_; }
    KPIItemType GetItemType() override { return type_; }

    static xrchandle<KPIItem> Make(int id, KPIItemType type = KPI_FACE) {
        return xrchandle<KPIItem>(new TestItem(id, type));
    }

private:
    int id_;
    KPIItemType type_;
};

inline std::string Text(const xstring& s) { return s.str(); }
