#include "client/zr_transfer.h"

#include "client/zr_bnfs.h"
#include "client/zr_client.h"
#include "neutral/unibuf_registration.h"
#include "neutral/neutral_convert.h"
#include "neutral/neutral_extend.h"
#include "neutral/neutral_writer.h"
#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_streams.h"
#include "xml/framework/xml_tempdir.h"
#include "xml/intfdata/xml_zpi.h"

#include "btk_quoted.h"
#include "kcommon.h"
#include "process.h"

#include <exception>
#include <memory>
#include <string>

bool ZrHandOverPath(const char* name, btkString& path) {
    if (btk_getenv("GG_TEMP_FILE")) {
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

ZrHandOverHold::~ZrHandOverHold() {
    if (inner_.empty())
        return;
    if (xrchandle<ZrClient> client = ZrClient::Get())
        client->HoldInArea(inner_.c_str(), false);
}

void ZrHandOverHold::Hold(const btkString& path) {
    std::string host, inner;
    int port = 0;
    xrchandle<ZrClient> client = ZrClient::Get();
    if (!inner_.empty() || !client || !ZrSplitBnfsPath(path.c_str(), host, port, inner, nullptr) ||
        !client->ServesAt(host.c_str(), port))
        return;
    client->HoldInArea(inner.c_str(), true);
    inner_ = std::move(inner);
}

bool ZrWriteHandOver(int opcode, const char* name, btkString& path, ZrHandOverHold& hold,
                     const std::function<bool(const btkString& path, std::string& why)>& write) {
    const std::string notSent = "request " + std::to_string(opcode) + " not sent: ";
    if (!ZrHandOverPath(name, path)) {
        IntfXmlTellFailure(notSent + "there is nowhere to put \"" + name +
                           "\" (no callback server, and GG_TEMP_FILE is not set)");
        return false;
    }
    hold.Hold(path);
    // The reason with the path it concerns (a reason that names it already
    // stands as it is).
    const std::string quoted = btkQuoted(path.str());
    auto naming = [&](const std::string& why) {
        return why.find(quoted) != std::string::npos ? why : "cannot write " + quoted + ": " + why;
    };
    std::string why;
    bool written = false;
    try {
        written = write(path, why);
        if (!written)
            why = naming(why.empty() ? "the writer failed" : why);
    } catch (...) {
        why = naming(IntfXmlCaughtText());
    }
    if (!written)
        IntfXmlTellFailure(notSent + why);
    return written;
}

bool ZrWriteNeutralFile(const btkString& path, const qel_intf_data* data,
                        const qel_intf_data_extend* extension, std::string& why) {
    // The writer takes a UTF-16 name: a name that does not convert exactly
    // would write another file than the one named.
    std::u16string wide;
    if (!btkStrUtf8ToUtf16Strict(path.str(), wide)) {
        why = "the path is not UTF-8";
        return false;
    }
    // Freed however this ends, also when a step below throws.
    NeutralPartPtr part;
    // A null `data` hands out an empty part; what single items leave out of
    // it is told, and the rest handed over.
    neut_convert_part(data, OutPtr(part), "ZrWriteNeutralFile");
    if (!part) {
        why = "no memory for the neutral part";
        return false;
    }
    if (extension) // what it leaves out is told, and the rest handed over
        neut_convert_extend(part.get(), extension, "ZrWriteNeutralFile");
    if (!IntfXmlIsBnfsPath(path.c_str()))
        return stream_neutral_to_pfa_why(wide.c_str(), part.get(), &why, kZrHandOver) == 1;
    IntfXmlBnfsOpener opener = IntfXmlGetBnfsOpener();
    std::unique_ptr<IntfXmlBnfsFile> file(opener ? opener(path.c_str(), 2, &why) : nullptr);
    if (!file) {
        if (why.empty())
            why = "no \"bnfs\" location is available";
        return false;
    }
    xrchandle<KCStream> stream(new BnfsFileStream(file.get()));
    int written = 0;
    {
        btkWString location;
        UnibufRegistration registration(stream.get(), wide.c_str(), &location);
        if (registration.IsRegistered())
            written = stream_neutral_to_pfa_why(location, part.get(), &why);
        else
            why = "the file is being written by another hand-over";
    }
    // Only a whole file is stored; a failed one is dropped unsent, with the
    // file's own reason when it refused the bytes.
    if (written != 1) {
        if (!file->Error().empty())
            why = file->Error();
        return false;
    }
    if (stream->Close() != 0) {
        why = file->Error().empty() ? "the file could not be stored" : file->Error();
        return false;
    }
    return true;
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
