#include "client/zr_transfer.h"

#include "neutral/unibuf_registration.h"
#include "client/zr_client.h"
#include "neutral/neutral_convert.h"
#include "neutral/neutral_extend.h"
#include "neutral/neutral_writer.h"
#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_streams.h"
#include "xml/framework/xml_tempdir.h"
#include "xml/intfdata/xml_zpi.h"

#include "kcommon.h"

#include <cstdlib>
#include <memory>
#include <string>

bool ZrHandOverPath(const char* name, btkString& path) {
    if (std::getenv("GG_TEMP_FILE")) {
        path = btkString(IntfXmlTempDir()) + "/" + name;
        return true;
    }
    btkString url = ZrGetCallbackUrl();
    if (url.IsEmpty())
        return false;
    path = url + name;
    return true;
}

namespace {

// The neutral writer's output into a "bnfs:" document.
class BnfsFileStream : public KCStream {
public:
    explicit BnfsFileStream(IntfXmlBnfsFile* file) : file_(file) {}
    int Read(void*, int) override { return -1; }
    int Write(const void* buffer, int count) override {
        if (!file_ || count < 0)
            return -1;
        long n = file_->Write(static_cast<const char*>(buffer), static_cast<size_t>(count));
        if (n > 0)
            pos_ += n;
        return static_cast<int>(n);
    }
    int64_t GetPos() override { return pos_; }
    int SetPos(int64_t) override { return -1; }
    int Close() override { return file_ && file_->Close() ? 0 : -1; }

private:
    IntfXmlBnfsFile* file_;
    int64_t pos_ = 0;
};

} // namespace

void ZrWriteNeutralFile(const btkString& path, const qel_intf_data* data,
                        const qel_intf_data_extend* extension) {
    // Freed however this ends, also when a step below throws.
    NeutralPartPtr part;
    cnv_qlk_neut(data, OutPtr(part), 0); // a null `data` hands out an empty part
    if (!part)
        return;
    if (extension) // what it leaves out is told, and the rest handed over
        ReportQelImpfeatExtendStatus("ZrWriteNeutralFile",
                                     ConvertQelImpfeatExtend(part.get(), extension));
    std::u16string wide = btkStrUtf8ToUtf16(path.c_str());
    if (IntfXmlIsBnfsPath(path.c_str())) {
        IntfXmlBnfsOpener opener = IntfXmlGetBnfsOpener();
        std::string why = "no \"bnfs\" location is available";
        std::unique_ptr<IntfXmlBnfsFile> file(opener ? opener(path.c_str(), 2, &why) : nullptr);
        if (!file)
            neut_message("ZrWriteNeutralFile",
                         ("cannot create \"" + std::string(path.c_str()) + "\": " + why).c_str());
        if (file) {
            xrchandle<KCStream> stream(new BnfsFileStream(file.get()));
            int written = 0;
            {
                btkWString location;
                UnibufRegistration registration(stream.get(), wide.c_str(), &location);
                if (registration.IsRegistered())
                    written = stream_neutral_to_pfa(location, part.get());
            }
            // Only a whole file is sent; a failed one is dropped unsent, so
            // the document the host holds stays as it was.
            if (written == 1)
                stream->Close();
        }
    } else {
        stream_neutral_to_pfa(wide.c_str(), part.get());
    }
}

void ZrWriteZpiDocument(const btkString& path, const qel_intf_data* data,
                        const qel_intf_data_extend* extension) {
    try {
        IntfXmlZPI writer(path.c_str(), data, extension);
    } catch (...) {
        // Told here: the host finds no document.
        IntfXmlTellCaught("write", path.c_str());
    }
}

bool ZrReadDocument(const char* path, IntfXmlElement* top, bool dump) {
    if (!path || !*path || !top)
        return false;
    try {
        if (dump)
            IntfXmlDumpIfRequested(path);
        IntfXmlParseDocument(path, top);
        return true;
    } catch (...) {
        IntfXmlTellCaught("read", path);
        return false;
    }
}
