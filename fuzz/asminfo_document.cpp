// The assembly information document: the tree of models and components is
// read, walked to its leaves and freed.
#include "fuzz_support.h"

#include "xml/framework/sax_handler.h"
#include "xml/side_documents/xml_asminfo.h"

#include "xmemory.h"

namespace {

// Components below `info`, depth-first; a tree is bounded by what was read.
size_t Walk(const qel_model_basic_info* info, int depth) {
    if (!info || depth > 10000)
        return 0;
    size_t n = 0;
    if (info->components) {
        const int count = xar_count(info->components);
        for (int i = 0; i < count; ++i)
            n += 1 + Walk(info->components[i].sub, depth + 1);
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zpifuzz::OwnErrorsOnly([&] {
        IntfXmlModel reader(nullptr);
        IntfXmlParseBuffer(reinterpret_cast<const char*>(data), size, &reader, "fuzz");
        qel_model_basic_info* info = reader.TakeData();
        (void)Walk(info, 0);
        IntfXmlFreeModelInfo(info);
    });
    return 0;
}
