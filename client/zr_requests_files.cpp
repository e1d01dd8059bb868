// Requests that exchange documents with the host: the interface data of a
// part, assembly information, import-layer status, the translation log and
// the translation options, and the few requests on components and layers.
//
// Documents handed over go where ZrHandOverPath puts them (the callback
// server's memory, or the temporary directory when "GG_TEMP_FILE" is set);
// a request whose document was not written whole is not sent (100).
// Documents received are named by a reply field and read from the callback
// server's memory ("bnfs:") or a local file. No member throws.
#include "client/zr_options.h"
#include "client/zr_proxy.h"
#include "client/zr_requests_internal.h"
#include "client/zr_transfer.h"

#include "kernel/model/model.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "xml/side_documents/side_documents.h"
#include "xml/intfdata/xml_extend.h"
#include "xml/framework/xml_tempdir.h"
#include "xml/intfdata/xml_zpi.h"

#include "xmemory.h"

#include <memory>
#include <string>
#include <utility>

using zr_detail::Exchange;
using zr_detail::kBadArg;
using zr_detail::Request;

namespace {

using zr_detail::kNotSent;

// Writes `record` with a Writer into the hand-over file `name` of request
// `opcode` and gives its path; false when there is nowhere to put it or it
// was not written whole (ZrWriteHandOver): the request is then not sent.
template <class Writer, class Record>
bool WriteHandOver(int opcode, const char* name, const Record* record, btkString& path,
                   ZrHandOverHold& hold) {
    return ZrWriteHandOver(opcode, name, path, hold,
                           [record](const btkString& where, std::string&) {
                               Writer writer(where.c_str(), record, kZrHandOver);
                               return true;
                           });
}

// The document named by `name` read into a new Top and handed on by
// take(top); null when it can not be read, take gives null or anything
// throws. Each of these is told in one line with the path; a document that
// was read but gave nothing is told with `missing` as its reason.
template <class Top, class Take>
auto ReadTaken(const char* name, bool dump, Take take, const char* missing)
    -> decltype(take(std::declval<Top&>())) {
    try {
        Top top(nullptr);
        if (!ZrReadDocument(name, &top, dump))
            return nullptr;
        auto taken = take(top);
        if (!taken)
            IntfXmlTellFailure(IntfXmlReadFailure(name, missing));
        return taken;
    } catch (...) {
        IntfXmlTellCaught("read", name);
    }
    return nullptr;
}

// Tells in one line why request `opcode` gave nothing.
void TellRefused(int opcode, const std::string& why) {
    IntfXmlTellFailure("request " + std::to_string(opcode) + ": " + why);
}

// Why a reply names no document in field `field`: "its reply names no
// <what> document (field N is empty)".
std::string NoDocument(const char* what, int field) {
    return std::string("its reply names no ") + what + " document (field " + std::to_string(field) +
           " is empty)";
}

// Sends request `opcode`, answered by documents, into `reply`: false when
// it did not go out, its reply did not come or its status is not 0, each
// told.
bool DocumentReply(ZorvanProxy& proxy, int opcode, const Request& req, ZrReply& reply) {
    std::string why;
    if (!Exchange(proxy, req, reply, &why)) {
        TellRefused(opcode, "no reply: " + why);
        return false;
    }
    if (reply.GetStatus() != 0) {
        TellRefused(opcode, zr_detail::HostAnswered(reply));
        return false;
    }
    return true;
}

// ReadTaken on the document that field `field` of the reply to request
// `opcode` names, a <what> document; null, told, when the field is empty.
template <class Top, class Take>
auto ReadNamed(int opcode, const ZrReply& reply, int field, const char* what, bool dump, Take take,
               const char* missing) -> decltype(take(std::declval<Top&>())) {
    const char* path = reply.GetField(field);
    if (!*path) {
        TellRefused(opcode, "the host answered status 0, but " + NoDocument(what, field));
        return nullptr;
    }
    return ReadTaken<Top>(path, dump, take, missing);
}

// Requests answered by a document named in field 1 (161, 183): *out is
// what ReadTaken gives, and the answer 0; kNotSent, with *out null, when
// the request did not go out, the status is not 0 or nothing was read
// (each told).
template <class Top, class T, class Take>
int DocumentRequest(ZorvanProxy& proxy, int opcode, const Request& req, T** out, const char* what,
                    Take take, const char* missing) {
    *out = nullptr;
    ZrReply reply;
    if (!DocumentReply(proxy, opcode, req, reply))
        return kNotSent;
    *out = ReadNamed<Top>(opcode, reply, 1, what, false, take, missing);
    return *out ? 0 : kNotSent;
}

} // namespace

// ---- 153: interface data of a host model ------------------------------------

xrchandle<KWPIModel> ZorvanProxy::GetQelIntfData(int model, const qel_part_conversion_options* options,
                                                 const qel_model_conversion_options_ext* extOptions,
                                                 qel_intf_data_extend** extension) {
    if (extension)
        *extension = nullptr;
    if (!options)
        return nullptr;
    // One field: flag bits 1, 0 and 2, the two further words, whether
    // extended options follow, and those options (or zeros).
    btkString packed;
    auto part = [&packed](const btkString& text) {
        if (!packed.IsEmpty())
            packed += ' ';
        packed += text;
    };
    part(IntToString((options->flags >> 1) & 1));
    part(IntToString(options->flags & 1));
    part(IntToString((options->flags >> 2) & 1));
    part(IntToString(options->second));
    part(IntToString(options->third));
    part(IntToString(extOptions ? 1 : 0));
    for (int i = 0; i < 4; ++i)
        part(IntToString(extOptions ? extOptions->values[i] : 0));
    for (int i = 0; i < 2; ++i)
        part(DoubleToString(extOptions ? extOptions->reals[i] : 0.0));

    Request req(153);
    req.AddInt(model).AddText(packed);
    ZrReply reply;
    std::string why;
    if (!Exchange(*this, req, reply, &why)) {
        TellRefused(153, "no reply: " + why);
        return nullptr;
    }

    // The status is not looked at: field 1 names the document or nothing.
    const char* path = reply.GetField(1);
    if (!*path) {
        TellRefused(153,
                    (reply.GetStatus() != 0 ? zr_detail::HostAnswered(reply) + ", and "
                                            : std::string("the host answered status 0, but ")) +
                        NoDocument("interface-data", 1));
        return nullptr;
    }
    try {
        IntfXmlZPI top(nullptr);
        if (!ZrReadDocument(path, &top, true))
            return nullptr;
        qel_intf_data* data = top.GetIntfData();
        if (!data) {
            // Told as ReadZPI tells it; the reader frees an extension that
            // came alone.
            IntfXmlTellFailure(IntfXmlReadFailure(reply.GetField(1), top.MissingIntfDataReason()));
            return nullptr;
        }
        xrchandle<KWPIModel> result(new KWPIModel_i(data, false));
        top.DetachIntfData(); // the model has it now
        qel_intf_data_extend* ext = top.DetachIntfDataExtend();
        if (extension)
            *extension = ext;
        else
            qel_intf_data_extend_block_free(ext);
        return result;
    } catch (...) {
        IntfXmlTellCaught("read", path);
        if (extension)
            *extension = nullptr;
        return nullptr;
    }
}

// ---- 154, 159: assembly information -----------------------------------------

int ZorvanProxy::GetAssemblyInfo(int model, qel_model_basic_info** info, qel_intf_data_extend** extension) {
    // The outputs are null unless every document asked for was read: a
    // record read before a later failure is freed. Each failure is told.
    if (info)
        *info = nullptr;
    if (extension)
        *extension = nullptr;
    Request req(154);
    req.AddInt(model);
    ZrReply reply;
    if (!DocumentReply(*this, 154, req, reply))
        return kNotSent;
    qel_model_basic_info* read = nullptr;
    if (info) {
        read = ReadNamed<IntfXmlModel>(
            154, reply, 1, "assembly-information", true,
            [](IntfXmlModel& top) { return top.TakeData(); }, "the document holds no \"Model\"");
        if (!read)
            return kNotSent;
    }
    if (extension) {
        qel_intf_data_extend* data = ReadNamed<IntfXmlQelIntfDataExtend>(
            154, reply, 2, "interface-data extension", true,
            [](IntfXmlQelIntfDataExtend& top) {
                qel_intf_data_extend* taken = top.GetData();
                top.Detach();
                return taken;
            },
            "the document holds no \"QelIntfDataExtend\"");
        if (!data) {
            IntfXmlFreeModelInfo(read);
            return kNotSent;
        }
        *extension = data;
    }
    if (info)
        *info = read;
    return 0;
}

int ZorvanProxy::SendAssemblyInfo(int a, const qel_model_basic_info* info, int b, int c, double d) {
    if (!info)
        return kNotSent;
    btkString path;
    ZrHandOverHold hold;
    if (!WriteHandOver<IntfXmlModel>(159, "assemInfo.xml", info, path, hold))
        return kNotSent;
    Request req(159);
    req.AddInt(a).AddText(path).AddInt(b).AddInt(c).AddDouble(d);
    return zr_detail::HandOverReply(*this, req, path, nullptr);
}

// ---- 160, 161: import-layer status ------------------------------------------

int ZorvanProxy::SetAtbImportLayers(int a, const atb_import_layer* layers) {
    if (!layers)
        return kNotSent;
    btkString path;
    ZrHandOverHold hold;
    if (!WriteHandOver<IntfXmlAtbImportLayers>(160, "atbLayers.xml", layers, path, hold))
        return kNotSent;
    IntfXmlDumpIfRequested(path.c_str());
    Request req(160);
    req.AddInt(a).AddText(path);
    return zr_detail::HandOverReply(*this, req, path, nullptr);
}

int ZorvanProxy::GetAtbImportLayers(int a, atb_import_layer** layers) {
    if (!layers)
        return kNotSent;
    Request req(161);
    req.AddInt(a);
    return DocumentRequest<IntfXmlAtbImportLayers>(
        *this, 161, req, layers, "import-layer status",
        [](IntfXmlAtbImportLayers& top) { return top.TakeData(); },
        "the document holds no \"Layers\"");
}

void ZorvanProxy::FreeAtbImportLayers(atb_import_layer* layers) { IntfXmlFreeAtbImportLayers(layers); }

int ZorvanProxy::AsmBasicInfoClean(qel_model_basic_info* info) { return QelAsmBasicInfoClean(info); }

// ---- 178: translation log ------------------------------------------------------

int ZorvanProxy::SendTranslationLog(const char* const* lines) {
    if (!lines)
        return kNotSent;
    btkString path;
    ZrHandOverHold hold;
    if (!WriteHandOver<IntfXmlLogLines>(178, "TranslationLog.xml", lines, path, hold))
        return kNotSent;
    Request req(178);
    req.AddText(path);
    return zr_detail::HandOverReply(*this, req, path, nullptr);
}

// ---- 183: translation options --------------------------------------------------

int ZorvanProxy::GetTranslationOptions(ZrTranslationOptions** options, int a) {
    if (!options)
        return kNotSent;
    Request req(183);
    req.AddInt(a);
    return DocumentRequest<IntfXmlTranslationOptions>(*this, 183, req, options, "translation-options", [](IntfXmlTranslationOptions& top) {
        if (!top.GetOptions())
            return static_cast<ZrTranslationOptions*>(nullptr);
        auto record = std::make_unique<ZrTranslationOptions>();
        for (const IntfXmlOption& option : top.GetOptions()->Items()) {
            switch (option.type) {
            case IntfXmlOption::kInteger:
                record->SetInteger(option.name.c_str(), option.intValue);
                break;
            case IntfXmlOption::kDouble:
                record->SetDouble(option.name.c_str(), option.doubleValue);
                break;
            case IntfXmlOption::kString:
                record->SetString(option.name.c_str(), option.text.c_str());
                break;
            default:
                break;
            }
        }
        return record.release();
    }, "the document holds no option record");
}

// ---- components, files, layers -------------------------------------------------

int ZorvanProxy::SetComponentColor(int a, int b, const double first[3], const double second[6]) {
    if (!first || !second)
        return kBadArg;
    Request req(179);
    req.AddInt(a).AddInt(b).AddDoubles(first, 3).AddDoubles(second, 6);
    return zr_detail::StatusReply(*this, req, kNotSent);
}

int ZorvanProxy::CopyFileFromRemote(const char* first, const char* second) {
    Request req(185);
    req.AddText(first).AddText(second);
    return zr_detail::StatusReply(*this, req, kNotSent);
}

int ZorvanProxy::HDICSearchImage(const char* name, int* value) {
    Request req(186);
    req.AddText(name);
    ZrReply reply;
    if (!Exchange(*this, req, reply))
        return 0;
    int status = reply.GetStatus();
    if (status == 1 && value)
        *value = reply.GetInt(1, -1);
    return status;
}

int ZorvanProxy::SetComponentLayer(int a, int b, const char* name) {
    Request req(187);
    req.AddInt(a).AddInt(b).AddText(name);
    return zr_detail::StatusReply(*this, req, kNotSent);
}

int ZorvanProxy::CreateLayer(int a, const char* name, QelLayerDisplay display, int c) {
    Request req(188);
    req.AddInt(a).AddText(name).AddInt(display).AddInt(c);
    return zr_detail::StatusReply(*this, req, kNotSent);
}
