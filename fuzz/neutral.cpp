// The neutral converter and writer over records whose counts and sizes lie
// (see record_builder.h): the root and an extension are converted into a
// neutral part, the part is written to a caller's stream by name, and
// everything is freed.
#include "fuzz_support.h"
#include "record_builder.h"

#include "neutral/unibuf_registration.h"
#include "kernel/records/qel_copy.h"
#include "neutral/neutral_convert.h"
#include "neutral/neutral_extend.h"
#include "neutral/neutral_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    zpifuzz::RecordBuilder b(in);
    qel_intf_data* root = b.Root();
    qel_intf_data_extend* ext = in.ConsumeBool() ? b.Extension() : nullptr;

    neut_part* part = nullptr;
    neut_convert_part(root, &part, nullptr); // what it leaves out would fill the log
    if (part) {
        if (ext)
            ConvertQelImpfeatExtend(part, ext);
        zpifuzz::OwnErrorsOnly([&] {
            xrchandle<zpifuzz::MemoryStream> stream(new zpifuzz::MemoryStream);
            btkWString location;
            UnibufRegistration registration(stream.get(), u"fuzz.neu.1", &location);
            if (registration.IsRegistered())
                stream_neutral_to_pfa(location, part);
        });
        release_neutral_part(part);
    }
    if (ext) {
        impfeat_ext_free(ext);
        rlsmem(ext);
    }
    if (root)
        qel_intf_data_free(root);
    return 0;
}
