// The interface-data document read from memory the way ReadZPI reads a
// file: the reader fills the records, a model and its extension are made
// over them, their lists are walked and the model is closed. Everything is
// freed whatever happens.
#include "fuzz_support.h"

#include "kernel/model/model.h"
#include "kernel/metadata/model_ext.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "xml/framework/sax_handler.h"
#include "xml/intfdata/xml_zpi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qel_intf_data* root = nullptr;
    qel_intf_data_extend* extension = nullptr;
    zpifuzz::OwnErrorsOnly([&] {
        IntfXmlZPI reader(nullptr);
        IntfXmlParseBuffer(reinterpret_cast<const char*>(data), size, &reader, "fuzz");
        root = reader.DetachIntfData();
        extension = reader.DetachIntfDataExtend();
    });
    if (!root) {
        if (extension)
            qel_intf_data_extend_block_free(extension);
        return 0;
    }
    zpifuzz::OwnErrorsOnly([&] {
        // From here on the model frees the records, as in ReadZPI.
        xrchandle<KWPIModel> model(new KWPIModel_i(root, false));
        root = nullptr;
        if (extension) {
            xrchandle<KWPIModelExt> ext(new KWPIModelExt_i(extension));
            extension = nullptr;
            model->SetWPIModelExt(ext);
        }
        (void)model->GetAccuracy();
        (void)model->GetOutline();
        (void)model->GetPIFaces();
        (void)model->GetPIEdges();
        (void)model->GetPIQuilts();
        (void)model->GetPIDatums();
        model->Close();
    });
    if (root)
        qel_intf_data_free(root);
    if (extension)
        qel_intf_data_extend_block_free(extension);
    return 0;
}
