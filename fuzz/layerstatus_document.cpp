// The import-layer status document: the layer array is read, each layer's
// item ids are looked at, and the array is freed.
#include "fuzz_support.h"

#include "xml/framework/sax_handler.h"
#include "xml/side_documents/xml_layerstatus.h"

#include "xmemory.h"

// What the harness read, kept where the optimiser cannot drop it.
volatile uint32_t g_read;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zpifuzz::OwnErrorsOnly([&] {
        IntfXmlAtbImportLayers reader(nullptr);
        IntfXmlParseBuffer(reinterpret_cast<const char*>(data), size, &reader, "fuzz");
        atb_import_layer* layers = reader.TakeData();
        if (layers) {
            // Every entry is read, so that a short array shows.
            uint32_t sum = 0;
            const int n = xar_count(layers);
            for (int i = 0; i < n; ++i)
                sum += layers[i].IntfId;
            g_read = sum;
        }
        IntfXmlFreeAtbImportLayers(layers);
    });
    return 0;
}
