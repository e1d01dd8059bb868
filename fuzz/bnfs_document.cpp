// A document received through the host's memory location ("bnfs:" path):
// the location hands the bytes over in small chunks, the token reader
// gives them to the parser one tag or line at a time (refusing anything
// after the envelope's end), and the interface-data reader takes them.
#include "fuzz_support.h"

#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_streams.h"
#include "xml/intfdata/xml_zpi.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_chunks;

class ChunkFile : public IntfXmlBnfsFile {
public:
    long Read(char* buffer, size_t wanted) override {
        if (next_ == g_chunks.size())
            return 0;
        const std::string& p = g_chunks[next_];
        const size_t n = std::min(wanted, p.size() - at_);
        std::memcpy(buffer, p.data() + at_, n);
        at_ += n;
        if (at_ == p.size()) {
            ++next_;
            at_ = 0;
        }
        return long(n);
    }
    long Write(const char*, size_t) override { return -1; }
    bool Close() override { return true; }

private:
    size_t next_ = 0;
    size_t at_ = 0;
};

IntfXmlBnfsFile* OpenChunks(const char*, int mode, std::string* error) {
    if (mode != 1) {
        if (error)
            *error = "read only";
        return nullptr;
    }
    return new ChunkFile;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    g_chunks = zpifuzz::Chunks(in);
    IntfXmlRegisterBnfsOpener(&OpenChunks);
    zpifuzz::OwnErrorsOnly([&] {
        IntfXmlZPI reader(nullptr);
        IntfXmlParseDocument("bnfs://127.0.0.1:1/ZPI/part.xml", &reader);
        if (qel_intf_data* root = reader.DetachIntfData())
            qel_intf_data_free(root);
        if (qel_intf_data_extend* ext = reader.DetachIntfDataExtend())
            qel_intf_data_extend_block_free(ext);
    });
    g_chunks.clear();
    return 0;
}
