// Requests with which a translator drives the host's model during a job:
// create or pick a model, place components, hand interface data over as an
// import feature, report exceptions and the end of a job. Also the helpers
// that every request source shares.
#include "client/zr_callback.h"
#include "client/zr_client.h"
#include "client/zr_proxy.h"
#include "client/zr_requests_internal.h"
#include "client/zr_transfer.h"

#include "kernel/kpi_impl.h"
#include "kernel/metadata/model_ext.h"
#include "kernel/records/qel_check.h"
#include "kernel/records/wide_name.h"
#include "kernel/model/model.h"
#include "neutral/neutral_convert.h"
#include "xml/framework/xml_element.h"
#include "xml/intfdata/xml_kpi_writer.h"
#include "xml/intfdata/xml_zpi.h"
#include "xml/framework/xml_tempdir.h"

#include "btk_quoted.h"
#include "xmemory.h"

#include <cstdint>
#include <cstring>

namespace zr_detail {

Request& Request::AddText(const char* text) {
    if (text && std::strchr(text, '\n'))
        valid_ = false;
    text_.AddText(text);
    return *this;
}

bool Exchange(ZorvanProxy& proxy, const Request& request, ZrReply& reply, std::string* why) {
    if (!request.IsValid()) {
        if (why)
            *why = "a text field holds a line feed";
        return false;
    }
    btkString text;
    bnfsError error;
    if (!proxy.SendRequest(request.c_str(), text, error)) {
        if (why) {
            *why = error.message;
            if (error.code == BNFS_ERR_TIMEOUT)
                *why += " (" + ZrDescribeReplyTimeout(ZrGetReplyTimeout()) + ")";
        }
        return false;
    }
    // The fields are read as zero-terminated texts: a zero byte with more
    // after it would cut the reply short there and hand back another text
    // than the host's (zero bytes that end the reply cut nothing).
    const std::string& got = text.str();
    const size_t zero = got.find('\0');
    if (zero != std::string::npos && got.find_first_not_of('\0', zero) != std::string::npos) {
        const std::string said = "the host's reply holds a zero byte at byte " +
                                 std::to_string(zero) + ", not read: " + btkQuoted(got);
        if (why)
            *why = said;
        else
            TellText("request " + std::to_string(request.GetOpcode()) + ": " + said);
        return false;
    }
    reply.Parse(text.c_str());
    return true;
}

bool SendOnly(ZorvanProxy& proxy, const Request& request) {
    if (!request.IsValid())
        return false;
    btkString text;
    bnfsError error;
    return proxy.SendRequest(request.c_str(), text, error);
}

int StatusReply(ZorvanProxy& proxy, const Request& request, int notSent) {
    ZrReply reply;
    if (!Exchange(proxy, request, reply))
        return notSent;
    return reply.GetStatus();
}

int WholeReply(ZorvanProxy& proxy, const Request& request) {
    ZrReply reply;
    if (!Exchange(proxy, request, reply))
        return kNotSent;
    return reply.GetWholeAsInt();
}

int IntReply(ZorvanProxy& proxy, const Request& request, int* out, int fallback) {
    return ReadReply(proxy, request, [&](const ZrReply& reply) {
        if (out)
            *out = reply.GetInt(1, fallback);
    });
}

int TextReply(ZorvanProxy& proxy, const Request& request, char* buffer, size_t capacity) {
    return ReadReply(proxy, request, [&](const ZrReply& reply) { return CopyField(reply, 1, buffer, capacity); });
}

std::vector<btkString> SplitParts(const char* text) {
    std::vector<btkString> parts;
    if (!text)
        return parts;
    const char* p = text;
    for (;;) {
        const char* end = std::strchr(p, ' ');
        if (!end) {
            parts.emplace_back(std::string_view(p));
            return parts;
        }
        parts.emplace_back(std::string_view(p, static_cast<size_t>(end - p)));
        p = end + 1;
    }
}

const btkString& PartAt(const std::vector<btkString>& parts, size_t i) {
    static const btkString empty;
    return i < parts.size() ? parts[i] : empty;
}

int CopyField(const ZrReply& reply, int i, char* buffer, size_t capacity) {
    if (!buffer)
        return 0;
    const char* text = reply.GetField(i);
    size_t n = std::strlen(text) + 1;
    if (n > capacity)
        return ZR_STATUS_TEXT_TOO_LONG;
    std::memcpy(buffer, text, n);
    return 0;
}

namespace {
// The host-toolkit C function that runs on this thread (null: none).
thread_local const char* t_function = nullptr;

// A wide text up to its terminator, at most `capacity` units (0: no bound).
std::u16string_view Bounded(const char16_t* text, int capacity) {
    size_t n = 0;
    while ((capacity <= 0 || n < static_cast<size_t>(capacity)) && text[n] != 0)
        ++n;
    return std::u16string_view(text, n);
}
} // namespace

FunctionScope::FunctionScope(const char* name) : outer_(t_function) {
    t_function = name;
}

FunctionScope::~FunctionScope() {
    t_function = outer_;
}

void TellText(const std::string& line) {
    IntfXmlTellFailure(t_function ? std::string(t_function) + ": " + line : line);
}

void Request::RefuseText(const std::string& why) {
    if (!toldText_)
        TellText("request " + std::to_string(GetOpcode()) + " not sent: " + why);
    toldText_ = true;
    valid_ = false;
}

std::string WideFault(const char16_t* text, int capacity) {
    return text ? kname::SurrogateFault(Bounded(text, capacity)) : std::string();
}

std::string WideToNarrow(Request& request, const char* what, const char16_t* text, int capacity) {
    if (!text)
        return std::string();
    const std::string fault = WideFault(text, capacity);
    if (!fault.empty()) {
        request.RefuseText(std::string(what) + " is not whole UTF-16: " + fault);
        return std::string();
    }
    return btkStrUtf16ToUtf8(Bounded(text, capacity));
}

int HostTextToWide(int opcode, const char* what, std::string_view text, int capacity,
                   std::u16string& wide) {
    auto refuse = [&](int status, const std::string& why) {
        TellText("request " + std::to_string(opcode) + ": the host's " + what + why +
                 ", not handed back: " + btkQuoted(text));
        return status;
    };
    if (!btkStrUtf8ToUtf16Strict(text, wide))
        return refuse(ZPI_REQUEST_BAD_REPLY, " is not UTF-8");
    if (wide.size() >= static_cast<size_t>(capacity))
        return refuse(ZR_STATUS_TEXT_TOO_LONG, " of " + std::to_string(wide.size()) +
                                                   " units does not fit in " +
                                                   std::to_string(capacity - 1));
    return 0;
}

void PutWide(const std::u16string& wide, char16_t* field) {
    std::memcpy(field, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
}

int32_t* NewHostInt(int32_t value) {
    auto* block = static_cast<int32_t*>(getmem(sizeof(int32_t)));
    if (block)
        *block = value;
    return block;
}

} // namespace zr_detail

using zr_detail::Exchange;
using zr_detail::Request;
using zr_detail::SendOnly;

namespace {

using zr_detail::kNotSent;
using zr_detail::kBadArg;

// Requests of a name (left out when null) and a value, answered by a model
// id in field 1 (101, 105, 106).
int NameValueRequest(ZorvanProxy& proxy, int opcode, const char* name, int value, int* out) {
    Request req(opcode);
    if (name)
        req.AddText(name);
    req.AddInt(value);
    return zr_detail::IntReply(proxy, req, out, -1);
}

} // namespace

int ZorvanProxy::CreateModel(const char* name, int value, int* model) {
    return NameValueRequest(*this, 101, name, value, model);
}

int ZorvanProxy::GetCurrentModel(int value, int* model) {
    return NameValueRequest(*this, 105, nullptr, value, model);
}

int ZorvanProxy::InitSolid(const char* name, int value, int* solid) {
    return NameValueRequest(*this, 106, name, value, solid);
}

int ZorvanProxy::AssembleComponent(int a, int b, const double matrix[4][3], int c, int* first,
                                   int* second) {
    if (!matrix)
        return kBadArg;
    Request req(102);
    req.AddInt(a).AddInt(b);
    for (int row = 0; row < 4; ++row)
        req.AddDoubles(matrix[row], 3);
    req.AddInt(c);
    return zr_detail::ReadReply(
        *this, req,
        [&](const ZrReply& reply) {
            if (first)
                *first = reply.GetInt(1, 0);
            if (second)
                *second = reply.GetInt(2, 0);
        },
        [&] {
            if (first)
                *first = 0;
            if (second)
                *second = 0;
        });
}

void ZorvanProxy::NotifyException(const char* text) {
    Request req(104);
    req.AddText(text);
    if (!req.IsValid()) {
        // A message of several lines still reaches the host, as one line.
        std::string flat(text);
        for (char& ch : flat)
            if (ch == '\n')
                ch = ' ';
        SendOnly(*this, Request(104).AddText(flat.c_str()));
        return;
    }
    SendOnly(*this, req);
}

void ZorvanProxy::NotifyFinish() { SendOnly(*this, Request(108)); }

int ZorvanProxy::TerminateAssembly(int value) {
    Request req(107);
    req.AddInt(value);
    return zr_detail::WholeReply(*this, req);
}

int ZorvanProxy::IsModelUsed(int value, const char* name) {
    Request req(109);
    req.AddText(name).AddInt(value);
    ZrReplyIsModelUsed reply;
    if (!Exchange(*this, req, reply))
        return 1;
    return reply.GetIsUsed();
}

bool ZorvanProxy::RegisterClient(const char* callbackUrl, int processId) {
    return zr_detail::Register(*this, callbackUrl, processId, nullptr);
}

bool zr_detail::Register(ZorvanProxy& proxy, const char* callbackUrl, int processId, std::string* why) {
    Request req(111);
    req.AddText(callbackUrl).AddInt(processId);
    ZrReply reply;
    if (!Exchange(proxy, req, reply, why))
        return false;
    if (reply.GetStatus() == 0)
        return true;
    if (why)
        *why = HostAnswered(reply);
    return false;
}

std::string zr_detail::HostAnswered(const ZrReply& reply) {
    const std::string status = reply.GetField(0);
    // A status that is no number is quoted as it came, on the line's one
    // line and bounded.
    return reply.GetStatus() != -1 || status == "-1"
               ? "the host answered status " + status
               : "the host answered " + kname::Shown(status) + ", which is no status";
}

int zr_detail::HandOverReply(ZorvanProxy& proxy, const Request& request, const btkString& path,
                             int* out) {
    // The opcode is the request's first word.
    const std::string text = request.c_str();
    const std::string said = "request " + text.substr(0, text.find('\n')) + ": ";
    const std::string of =
        path.IsEmpty() ? std::string() : " to the hand-over of " + btkQuoted(path.str());
    ZrReply reply;
    std::string why;
    if (!Exchange(proxy, request, reply, &why)) {
        IntfXmlTellFailure(said + "no reply" + of + ": " + why);
        return kNotSent;
    }
    const int status = reply.GetStatus();
    if (status == 0) {
        if (out)
            *out = reply.GetInt(1, -1);
        return 0;
    }
    std::string reason;
    for (int i = 1; i < reply.GetFieldCount(); ++i) {
        const std::string field = reply.GetField(i);
        int number = 0;
        if (field.empty() || btkString(field).ToInt(number))
            continue;
        reason += (reason.empty() ? ": " : "; ") + btkQuoted(field);
    }
    IntfXmlTellFailure(said + HostAnswered(reply) + of + reason);
    return status;
}

int ZorvanProxy::PostImportFunction(int a, const char* text, int b, int c, int d, bool e) {
    Request req(158);
    req.AddInt(a).AddText(text).AddInt(b).AddInt(c).AddInt(d).AddInt(e ? 1 : 0).AddLineFeed();
    return zr_detail::StatusReply(*this, req, kNotSent);
}

int ZorvanProxy::IntfimportModelCreate(const char* name, int a, int b, const char* secondName,
                                       int* model) {
    Request req(181);
    req.AddText(name).AddInt(a).AddInt(b).AddText(secondName);
    return zr_detail::IntReply(*this, req, model, -1);
}

int ZorvanProxy::IntfimportSourceTypeGet(const char* name, int value, int* type) {
    Request req(182);
    req.AddText(name).AddInt(value);
    return zr_detail::IntReply(*this, req, type, -1);
}

bool ZorvanProxy::IsServerAlive() {
    if (host_.empty())
        return false;
    bnfsError error;
    BNFSConnection* probe = BNFSConnection::Open(error, host_.c_str(), port_);
    if (!probe)
        return false;
    ZrApplyReplyLimits(probe);
    bool alive = BNFSConnection::IsAlive(probe);
    BNFSConnection::Close(probe);
    return alive;
}

// ---- import feature (103) ------------------------------------------------------

namespace {

// Writes the hand-over file of request 103 and gives its path ("" for an
// import format that hands no file over). False when the records or the
// extension hold what no model holds (told), when there is nowhere to put it or it was not
// written whole (ZrWriteHandOver). Host records, when
// there are any (those given, or a model's interface data), are written as
// they are, in either format: a model read from a document keeps its faces
// there, not in the lists of its objects. Format 1 writes a model without
// interface data from its objects; format 0 needs host records.
bool WriteHandOver(const qel_intf_data* data, const xrchandle<KWPIModel>& model,
                   const qel_intf_data_extend* extension, int format, btkString& path,
                   ZrHandOverHold& hold) {
    path.Clear();
    if (format != 0 && format != 1)
        return true;
    // Records no model holds are refused in either format, as
    // CreatePIModel_global refuses them and WriteZPI would.
    std::string fault = qel_intf_data_fault(data);
    if (fault.empty())
        fault = qel_intf_data_extend_fault(extension);
    if (fault.empty() && format == 0) // what a neutral part cannot hold
        fault = neut_part_fault(data);
    if (!fault.empty()) {
        IntfXmlTellFailure("request 103 not sent: " + fault);
        return false;
    }
    const bool written = ZrWriteHandOver(
        103, format == 0 ? "zpi.neu" : "zpi.xml", path, hold,
        [&](const btkString& where, std::string& why) {
            if (format == 0)
                return ZrWriteNeutralFile(where, data, extension, why);
            if (data)
                IntfXmlZPI writer(where.c_str(), data, extension, kZrHandOver);
            else
                IntfXmlKPIWriter writer(where.c_str(), model, extension, kZrHandOver);
            return true;
        });
    if (written)
        IntfXmlDumpIfRequested(path.c_str());
    return written;
}

int SendImportFeature(ZorvanProxy& proxy, int value, const int32_t* entity, const btkString& path,
                      int format, int* feature) {
    Request req(103);
    req.AddInt(value).AddInt(entity ? *entity : -1).AddText(path).AddInt(format);
    return zr_detail::HandOverReply(proxy, req, path, feature);
}

} // namespace

int ZorvanProxy::ImportQelIntfDataToFeature(int value, const int32_t* entity, const qel_intf_data* data,
                                            const qel_intf_data_extend* extension, int* feature) {
    if (!data)
        return kNotSent;
    int format = ZrGetImportFormat();
    btkString path;
    ZrHandOverHold hold;
    if (!WriteHandOver(data, xrchandle<KWPIModel>(), extension, format, path, hold))
        return kNotSent;
    return SendImportFeature(*this, value, entity, path, format, feature);
}

int ZorvanProxy::ImportQelIntfDataToFeature(int value, const int32_t* entity, xrchandle<KWPIModel> model,
                                            const qel_intf_data_extend* extension, int* feature) {
    if (model.isNull())
        return kNotSent;
    int format = ZrGetImportFormat();
    // The model's host records, when it has any, are what it hands over,
    // with its own extension when none is given (as WriteZPI writes it).
    // What it cannot hand over whole is refused unsent, and told. A model of
    // the caller's own class stands for the library's model it answers
    // through _CastToImpl, which is what is handed over; one that answers
    // none holds nothing the library can read whole (a model read from a
    // document lists none of its items), so it is refused rather than
    // handed over empty.
    std::string refused;
    xrchandle<KWPIModelExt> ownExtension; // held while its record is written
    KWPIModel_i* impl = nullptr;
    const qel_intf_data* data = nullptr;
    // Asking an object of the caller's class for the library's object
    // behind it may raise: the request is then refused as any other.
    const char* asked = "the model's _CastToImpl";
    try {
        impl = dynamic_cast<KWPIModel_i*>(CastToImpl(model.get()));
        data = impl ? impl->GetIntfData() : nullptr;
        if (!impl)
            refused = "the model was not made by this library (its _CastToImpl answers no model "
                      "of this library), so it holds nothing the library can hand over: hand "
                      "over the library's own model (the one the job received, or one the "
                      "session made or read) or its interface-data record";
        else if (impl->IsClosed())
            refused = "the model was closed: it has no interface data";
        else if (!data && format == 0)
            refused = "the model has no interface data (it was made while the storage mode was "
                      "off), and a neutral part is made from interface data only";
        asked = "the _CastToImpl of the model's extension";
        if (refused.empty() && !extension && (ownExtension = impl->GetWPIModelExt())) {
            auto* own = dynamic_cast<KWPIModelExt_i*>(CastToImpl(ownExtension.get()));
            if (own)
                extension = own->GetExtendData();
            else
                refused = kForeignExtension;
        }
    } catch (...) {
        refused = std::string(asked) + " raised: " + IntfXmlCaughtText();
    }
    if (!refused.empty()) {
        IntfXmlTellFailure("request 103 not sent: " + refused);
        return kNotSent;
    }
    btkString path;
    ZrHandOverHold hold;
    // Written as WriteZPI writes it: from the library's model itself.
    if (!WriteHandOver(data, xrchandle<KWPIModel>(static_cast<KWPIModel*>(impl)), extension, format,
                       path, hold))
        return kNotSent;
    return SendImportFeature(*this, value, entity, path, format, feature);
}
