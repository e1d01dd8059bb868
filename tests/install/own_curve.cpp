// Curves of the translator's own, handed to the library, with classes named
// like the library's own, which it tells by their type (the C++ runtime
// compares type names across modules):
// - one whose class bears the name of the library's class of curves
//   (KPICurve_i, named as KCommon_i and the other implementation classes of
//   the installed headers are): the library must refuse it as it refuses a
//   curve of any other class ("argument 1 code 1"), not read it as its own;
// - one whose operations throw the translator's own IntfXmlError, named like
//   the exception that the library's document writers raise and catch,
//   while a model in cache mode is written from its objects: the exception
//   must come back to the translator as it was thrown.
// Checked once, when the translator starts.
#include "zpi50.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

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

struct IntfXmlError {
    const char* text;
};

#define THROWING_OPERATION(Class, Result, Name, Params, Args, Doc) \
    Result Name Params override { throw IntfXmlError{"the translator's own error"}; }

class ThrowingLine : public KCommon_i, public virtual KPILine {
public:
    KCommon_i* _CastToImpl() override { return this; }
    xobject* GetImplObject() override { return static_cast<KPILine*>(this); }
    const xrttiobject* giveRtti() const override { return KPILine::getClassRtti(); }
    void* dyndowncast(const xrttiobject* type) override { return KPILine::dyndowncast(type); }
    KPICurveType GetPICurveType() override { return KPICURV_LINE; }
    ZPI_OPS_KPILine(THROWING_OPERATION)
};

namespace {

const bool passedOn = [] {
    // A folder of its own beside the program, in the folder it was built in.
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder = length > 0 ? std::string(self, size_t(length)) : std::string();
    folder = folder.substr(0, folder.rfind('/') + 1) + "own_curve_XXXXXX";
    if (folder[0] != '/' || !mkdtemp(folder.data())) {
        std::printf("FAILED: no folder for the document beside %s: %s\n", self, std::strerror(errno));
        std::fflush(stdout);
        std::_Exit(1);
    }
    const std::string path = folder + "/model.xml";
    const int mode = set_gw_cpid_enable(0);
    xrchandle<KWPIModel> model = KGetPISession()->CreatePIModel(KACCURACY_RELATIVE, 0.001);
    model->AddPIDatum(
        model->CreatePIDatum(1, "own", nullptr, xrchandle<KPICurve>(new ThrowingLine), nullptr));
    bool ok = false;
    std::fflush(stdout); // (what was told stays told if the library crashes)
    try {
        model->WriteZPI(path.c_str());
        std::printf("FAILED: the model was written though the translator's curve threw\n");
    } catch (const IntfXmlError& e) {
        ok = std::strcmp(e.text, "the translator's own error") == 0;
        if (!ok)
            std::printf("FAILED: the translator's own IntfXmlError came back changed\n");
    } catch (const std::exception& e) {
        std::printf("FAILED: the library took the translator's own IntfXmlError for its own: %s\n",
                    e.what());
    }
    set_gw_cpid_enable(mode);
    // The document given up leaves nothing behind.
    if (rmdir(folder.c_str()) != 0) {
        std::printf("FAILED: %s: %s\n", folder.c_str(), std::strerror(errno));
        ok = false;
    }
    if (!ok) {
        std::fflush(stdout);
        std::_Exit(1);
    }
    std::printf("ok: the translator's own IntfXmlError comes back to it through the library\n");
    return ok;
}();

} // namespace
