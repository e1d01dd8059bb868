// Test implementations of every interface, generated from the operation
// tables: each operation appends "Interface::Operation" to a shared log and
// returns an empty value of its result type.
#pragma once

#include "kernel/kpi_impl.h"

#include <string>
#include <vector>

template <class... T> inline void zpi_test_sink(const T&...) {}

inline std::vector<std::string>& recordingLog() {
    static std::vector<std::string> log;
    return log;
}

#define ZPI_RECORD_OPERATION(Class, Result, Name, Params, Args, Doc)           \
    Result Name Params override {                                              \
        zpi_test_sink Args;                                                    \
        recordingLog().push_back(#Class "::" #Name);                           \
        return Result();                                                       \
    }

#define ZPI_RECORDING_IMPL(Class, Parent)                                      \
    class Class##_rec : public KCommon_i, public virtual Class {               \
        ZPI_IMPLEMENTS(Class)                                                  \
    public:                                                                    \
        ZPI_OPS_##Parent(ZPI_RECORD_OPERATION) ZPI_OPS_##Class(ZPI_RECORD_OPERATION) \
    };

ZPI_INTERFACES(ZPI_RECORDING_IMPL)

#undef ZPI_RECORDING_IMPL
#undef ZPI_RECORD_OPERATION
