// A curve of the translator's own, whose class bears the name of the
// library's class of curves (KPICurve_i, named as KCommon_i and the other
// implementation classes of the installed headers are). The library tells
// its own objects by their type: it must refuse this one as it refuses a
// curve of any other class ("argument 1 code 1"), not read it as its own.
// Checked once, when the translator starts.
#include "zpi50.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The bytes the library would take for a line record from 0 to 1e9 if it
// read this object as its own.
unsigned char ownData[256];

} // namespace

#define OWN_CURVE_OPERATION(Class, Result, Name, Params, Args, Doc) \
    Result Name Params override { return Result(); }

class KPICurve_i : public KCommon_i, public virtual KPILine {
public:
    KPICurve_i() {
        const uint32_t line = QEL_CURVE_LINE;
        std::memcpy(ownData, &line, sizeof line);
        for (size_t at = 8; at + sizeof(double) <= sizeof ownData; at += sizeof(double)) {
            const double far = 1e9;
            std::memcpy(ownData + at, &far, sizeof far);
        }
        for (auto& word : words_)
            word = ownData;
    }
    KCommon_i* _CastToImpl() override { return this; }
    xobject* GetImplObject() override { return static_cast<KPILine*>(this); }
    const xrttiobject* giveRtti() const override { return KPILine::getClassRtti(); }
    void* dyndowncast(const xrttiobject* type) override { return KPILine::dyndowncast(type); }
    ZPI_OPS_KPICurve(OWN_CURVE_OPERATION)
    ZPI_OPS_KPILine(OWN_CURVE_OPERATION)

private:
    unsigned char* words_[8];
};

namespace {

const bool refused = [] {
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KPICurveList> curves(KPICurveList::create());
    curves->Append(xrchandle<KPICurve>(
        session->CreatePILine(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 0, 0))));
    curves->Append(xrchandle<KPICurve>(new KPICurve_i));
    xrchandle<xintsequence> traversals(xintsequence::create());
    traversals->Append(0);
    traversals->Append(0);
    const char* expected = "KBase::XInvalidArg argument 1 code 1";
    try {
        session->CreatePICompositeCurve(curves, traversals);
        std::printf("FAILED: the library took the translator's own KPICurve_i for a curve of its "
                    "own\n");
    } catch (const xthrown& e) {
        if (std::strcmp(e.what(), expected) == 0) {
            std::printf("ok: the library refuses the translator's own KPICurve_i as a curve of "
                        "another program\n");
            return true;
        }
        std::printf("FAILED: the translator's own KPICurve_i: \"%s\", not \"%s\"\n", e.what(),
                    expected);
    }
    std::fflush(stdout);
    std::_Exit(1);
}();

} // namespace
