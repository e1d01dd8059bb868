// A small translator built against the installed zpi50 (it includes only
// zpi50.h). Started with the host server's URL, it connects, registers an
// export and a part-import function and runs the host's jobs:
//   export       fetches host model 1, saves it as a neutral part into a
//                stream of its own and hands the host a translation log;
//   part import  hands the model it received back to the host as an import
//                feature, then ends the job loop (a real translator runs
//                until the host ends it).
// It exits 0 when every step held, 1 otherwise; with no host at the URL, or
// a host that does not take its registration, it says so and exits 1.
//
//     consumer bnfs://127.0.0.1:4711/
#include "zpi50.h"

#include <cstdio>
#include <string>

namespace {

xrchandle<ZorvanProxy> host; // the proxy that ZrInitializeClient gave
int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok)
        ++failures;
}

// The translator's own output stream: keeps the bytes in memory.
class MemoryStream : public KCStream {
public:
    int Read(void*, int) override { return -1; }
    int Write(const void* buffer, int count) override {
        data.append(static_cast<const char*>(buffer), size_t(count));
        return count;
    }
    int64_t GetPos() override { return int64_t(data.size()); }
    int SetPos(int64_t) override { return -1; }
    int Close() override { return 0; }
    std::string data;
};

int exportModel(int argc, char** const argv) {
    check(argc == 1, "export: one argument");
    qel_part_conversion_options options{};
    qel_intf_data_extend* extension = nullptr;
    xrchandle<KWPIModel> model = host->GetQelIntfData(1, &options, nullptr, &extension);
    check(bool(model), "export: the host's model arrived");
    if (!model)
        return 1;
    xrchandle<MemoryStream> out(new MemoryStream);
    try {
        model->SaveAsNeutral(xrchandle<KCStream>(out.get()));
    } catch (const xthrown& e) {
        std::printf("export: %s\n", e.what());
    }
    check(!out->data.empty(), "export: the model saved into the translator's stream");

    // The translation log: an xar of lines.
    std::string line = "exported " + std::to_string(model->GetPIEdges()->Count()) + " edge(s) to " +
                       (argc > 0 ? argv[0] : "?");
    auto** lines = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
    lines[0] = line.c_str();
    check(host->SendTranslationLog(lines) == 0, "export: translation log handed over");
    xar_free(lines);
    if (extension) {
        impfeat_ext_free(extension);
        rlsmem(extension);
    }
    model->Close();
    return 0;
}

int importPart(xrchandle<KWPIModel> model, qel_intf_data_extend* extension, int argc, char** const) {
    check(argc == 1 && model->GetPIEdges()->Count() == 1, "import: the part's model arrived");
    int feature = 0;
    const int status = host->ImportQelIntfDataToFeature(0, nullptr, model, extension, &feature);
    check(status == 0 && feature == 42, "import: handed back as import feature 42");
    ZrRequestClientLoopStop(); // this example ends after its part import
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer bnfs://host:port/\n");
        return 2;
    }
    host = ZrInitializeClient(argv[1]);
    if (!host) {
        std::fprintf(stderr, "consumer: cannot connect to a host server at %s\n", argv[1]);
        return 1;
    }
    ZrRegisterExportTranslator(&exportModel);
    ZrRegisterImportTranslator(&importPart);
    // Runs the host's jobs; false when the host did not take the
    // registration (told). The end of the process ends the client.
    const bool ran = ZrRunClient();
    std::printf("consumer: %s\n", ran && failures == 0 ? "all checks passed" : "checks failed");
    return ran && failures == 0 ? 0 : 1;
}
