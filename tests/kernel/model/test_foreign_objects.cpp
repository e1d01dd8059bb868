// An object of the caller's own class given to every operation that takes
// an interface object: a forwarder over an object the library made, whose
// _CastToImpl answers that object's implementation or none. The library
// either uses it through its interface, and the model then writes the very
// document that the library's own object gives, or refuses it as an object
// it did not make, (i, 1) naming the argument; in either storage mode, and
// through the call journal's wrappers. Never is it taken in part.
#include "kernel/model/every_kind_model.h"

#include "file_targets.h"
#include "forwarding_objects.h"
#include "journal/marshal/marshal.h"
#include "memory_stream.h"

#include "kkjournal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// What the library does with a forwarder that answers no implementation.
enum Taken { Used, Refused };

struct Entry {
    const char* operation;
    int argument;
    Taken recordMode, cacheMode;
};

// Every operation that takes an interface object, and each such argument.
// (SaveAsNeutral takes the caller's own stream by design.)
const Entry kEntries[] = {
    {"CreatePICompositeCurve", 1, Refused, Used},
    {"CreatePIRevolved", 2, Refused, Used},
    {"CreatePIRuledSrf", 2, Refused, Used},
    {"CreatePIRuledSrf", 3, Refused, Used},
    {"CreatePITabCylinder", 2, Refused, Used},
    {"CreatePIFilletSrf", 1, Refused, Used},
    {"CreatePIFilletSrf", 2, Refused, Used},
    {"CreatePIFilletSrf", 3, Refused, Used},
    {"CreatePICylSplineSrf", 2, Refused, Used},
    {"CreatePIFace", 4, Refused, Used},
    {"CreatePIFace", 5, Refused, Used},
    {"CreatePIQuilt", 2, Refused, Used},
    {"CreatePIEdgeWithXYZCurve", 4, Refused, Used},
    {"CreatePIEdgeWithUVCurves", 4, Refused, Used},
    {"CreatePIEdgeWithUVCurves", 5, Refused, Used},
    {"CreatePIEdgeWithXYZandUVCurves", 6, Refused, Used},
    {"CreatePIEdgeWithXYZandUVCurves", 7, Refused, Used},
    {"CreatePIEdgeWithXYZandUVCurves", 8, Refused, Used},
    {"CreatePIDatum", 4, Refused, Used},
    {"CreatePIDatum", 5, Refused, Used},
    {"AddPIFace", 1, Refused, Used},
    {"SetPIFaces", 1, Refused, Used},
    {"AddPIQuilt", 1, Refused, Used},
    {"SetPIQuilts", 1, Refused, Used},
    {"AddPIEdge", 1, Refused, Used},
    {"SetPIEdges", 1, Refused, Used},
    {"AddPIDatum", 1, Refused, Used},
    {"SetPIDatums", 1, Refused, Used},
    {"AddPIItem", 1, Refused, Refused},
    {"RemovePIItem", 1, Refused, Refused},
    {"SetPILayers", 1, Refused, Refused},
    {"SetPIUnits", 1, Refused, Refused},
    {"SetPIReferenceColors", 1, Refused, Refused},
    {"SetPIElementColors", 1, Refused, Refused},
    {"SetPINameAttributes", 1, Refused, Refused},
    {"SetPIGeneralAttributes", 1, Refused, Refused},
    {"SetPIFacetVtxList", 1, Refused, Refused},
    {"SetPIFacetVtxdataList", 1, Refused, Refused},
    {"SetPIFacetdataList", 1, Refused, Refused},
    {"SetPIFacetedReps", 1, Refused, Refused},
    {"SetWPIModelExt", 1, Refused, Refused},
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Built {
    int passes = 0;         // objects handed over as forwarders
    std::string document;   // what WriteZPI wrote, when nothing was raised
    std::string saved;      // what SaveAsNeutral wrote, or what() of what it raised
    std::string raised;     // what() of what was raised
    int argIndex = 0, code = -1; // of a KXInvalidArg
};

// The model of every kind with its extension, written to `path`, with the
// objects that `entry` names (none: every object as it is) handed over as
// forwarders (whose _CastToImpl answers `other` unless `passImpl`, to its
// first `answers` calls when that is not negative, and none after);
// through journal wrappers when `journaled`.
Built Build(const Entry* entry, bool passImpl, bool journaled, const std::string& path,
            KCommon_i* other = nullptr, int answers = -1) {
    Built built;
    xrchandle<KWPISession> session = KGetPISession();
    if (journaled)
        session = kkWrap(session);
    auto pass = [&](const char* operation, int argument, auto object) {
        if (!entry || std::strcmp(operation, entry->operation) != 0 || argument != entry->argument)
            return object;
        ++built.passes;
        return Forwarding(object, passImpl, other, answers);
    };
    try {
        std::vector<xrchandle<KPIFace>> faces;
        xrchandle<KWPIModel> model = everykind::BuildModel(session.get(), pass, &faces);
        everykind::GiveExtension(session.get(), model.get(), faces, pass);
        model->WriteZPI(path.c_str());
        built.document = ReadAll(path);
        xrchandle<MemoryStream> stream(new MemoryStream);
        try {
            model->SaveAsNeutral(xrchandle<KCStream>(stream.get()));
            built.saved = stream->data;
        } catch (const xthrown& e) {
            built.saved = e.what(); // a model in cache mode has nothing to save
        }
    } catch (const xthrown& e) {
        built.raised = e.what();
        if (KXInvalidArg* arg = KXInvalidArg::softcast(e.get())) {
            built.argIndex = arg->GetArgIndex();
            built.code = arg->GetCode();
        }
    }
    if (journaled)
        kkJournalClear();
    return built;
}

TEST(ForeignObjects, EveryOperationUsesAForwarderOrRefusesItNamingTheArgument) {
    // Both live for the process. A forwarder that answers the session's
    // implementation, or its journal wrapper, answers an object of a kind
    // that no operation takes.
    xrchandle<KWPISession> wrapped = kkWrap(KGetPISession());
    KCommon_i* const otherKinds[] = {nullptr, KGetPISession()->_CastToImpl(),
                                     wrapped->_CastToImpl()};
    wrapped.release();
    const int64_t live = xobject_live_count();
    filetargets::ScratchDir dir;
    const std::string path = dir.Path("model.xml");
    for (int mode : {1, 0}) {
        ScopedStorageMode storage(mode);
        for (bool journaled : {false, true}) {
            const Built own = Build(nullptr, true, journaled, path);
            ASSERT_EQ(own.raised, "");
            // Saved in record mode; in cache mode there is nothing to save.
            ASSERT_EQ(own.saved.rfind("NEUTRAL", 0) == 0, mode == 1) << own.saved.substr(0, 80);
            for (const Entry& entry : kEntries) {
                SCOPED_TRACE(std::string(entry.operation) + " argument " +
                             std::to_string(entry.argument) + (mode ? ", record" : ", cache") +
                             " mode" + (journaled ? ", journaled" : ""));
                // A forwarder that answers the implementation behind it is
                // that object to the library.
                const Built passing = Build(&entry, true, journaled, path);
                EXPECT_GE(passing.passes, 1);
                EXPECT_EQ(passing.raised, "");
                EXPECT_EQ(passing.document, own.document);
                EXPECT_EQ(passing.saved, own.saved);
                // So is one that answers it to the first call only: what
                // it answers later changes nothing the model holds.
                const Built fading = Build(&entry, true, journaled, path, nullptr, 1);
                EXPECT_EQ(fading.raised, "");
                EXPECT_EQ(fading.document, own.document);
                EXPECT_EQ(fading.saved, own.saved);

                for (KCommon_i* other : otherKinds) {
                    SCOPED_TRACE(other ? "answering another kind" : "answering none");
                    const Built foreign = Build(&entry, false, journaled, path, other);
                    if ((mode ? entry.recordMode : entry.cacheMode) == Used) {
                        EXPECT_EQ(foreign.raised, "");
                        EXPECT_EQ(foreign.document, own.document);
                        EXPECT_EQ(foreign.saved, own.saved);
                    } else {
                        EXPECT_EQ(foreign.passes, 1); // refused where it entered
                        EXPECT_EQ(foreign.argIndex, entry.argument) << foreign.raised;
                        EXPECT_EQ(foreign.code, 1) << foreign.raised;
                    }
                }
            }
        }
    }
    EXPECT_EQ(xobject_live_count(), live);
}

} // namespace
