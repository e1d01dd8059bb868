// Saving a model as a neutral part into a caller's stream, writing it as an
// interface-data document, reading such a document back into a new model,
// making a model over copies of records that a caller holds, and
// registering the file locations these go through.
//
// This file is the one place where kernel/ reaches xml/ and neutral/: the
// rest of the kernel uses only base/ and api/.
//
// Nothing here leaks on any path: the working copy of the interface data,
// the neutral part, the stream registration and the records a reader hands
// over each belong to a scope guard until something else takes them.
#include "neutral/unibuf_registration.h"
#include "kernel/model/model.h"
#include "kernel/metadata/model_ext.h"
#include "kernel/records/qel_check.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "kernel/model/session_factory.h"
#include "kernel/model/session_i.h"
#include "neutral/neutral_convert.h"
#include "neutral/neutral_extend.h"
#include "neutral/unifs.h"
#include "neutral/neutral_writer.h"
#include "xml/framework/sax_handler.h"
#include "xml/intfdata/xml_kpi_writer.h"
#include "xml/intfdata/xml_zpi.h"

#include "base_version.h"
#include "process.h"
#include "ugc_output.h"
#include "xexcept.h"
#include "xmemory.h"

#include <charconv>
#include <cstring>
#include <mutex>
#include <string>

namespace {

// Name under which the caller's stream is reachable by the neutral writer.
constexpr char16_t kNeutralStreamName[] = u"kernel.neu.1";
// Product id of the neutral files this library writes.
constexpr int kNeutralProductId = 32;

// The record of a model's extension (null for none), taken before
// anything is made.
const qel_intf_data_extend* ExtensionRecord(const xrchandle<KWPIModelExt>& ext) {
    KWPIModelExt_i* own = OwnExtension(ext.get());
    return own ? own->GetExtendData() : nullptr;
}

int DateCode() {
    const char* text = qel_get_datecode();
    int value = 0;
    if (text)
        std::from_chars(text, text + std::strlen(text), value);
    return value;
}

// The stream's name is process-wide: one neutral save at a time holds it.
// (The writer itself keeps its state with each write; other neutral writes,
// such as the client's hand-overs, run beside a save.)
std::mutex& NeutralSaveLock() {
    static std::mutex lock;
    return lock;
}

// Whether this thread is inside a neutral save: a caller's stream whose
// Write saves again would wait for the lock its own thread holds.
thread_local bool t_inNeutralSave = false;

struct InNeutralSave {
    InNeutralSave() { t_inNeutralSave = true; }
    ~InNeutralSave() { t_inNeutralSave = false; }
    InNeutralSave(const InNeutralSave&) = delete;
    InNeutralSave& operator=(const InNeutralSave&) = delete;
};

// The line every failed read prints, and a second one with the path and
// the reason.
void ReportUnreadable(const std::string& why) {
    IntfXmlTellFailure("Could not read the XML data.\n" + why);
}

// Why a model has no interface data to save or write.
[[noreturn]] void ThrowNothingToSave(const KWPIModel_i& model) {
    ThrowSimple(KPI_STATUS_NO_INTF_DATA,
                model.IsClosed() ? "the model was closed: it has no interface data"
                                 : "the model has no interface data (it was made while the "
                                   "storage mode was off)");
}

} // namespace

// ---- file locations ---------------------------------------------------------------

void InitFileLocations() {
    static std::once_flag once;
    std::call_once(once, [] {
        unifs_initialize();
        uni_register_bnfs_location();
    });
}

// ---- neutral part -----------------------------------------------------------------

void KWPIModel_i::SaveAsNeutral(xrchandle<KCStream> stream) {
    // A model without interface data (made in cache mode, or closed) has
    // nothing to save; this is told before the stream is looked at.
    qel_intf_data* root = GetIntfData();
    if (!root)
        ThrowNothingToSave(*this);
    if (!stream)
        ThrowInvalidArg(1, 0);
    if (t_inNeutralSave)
        ThrowSimple(KPI_STATUS_NEUTRAL_STREAM_TAKEN,
                    "a neutral save is already running on this thread (a stream whose Write "
                    "saves again)");

    // What no model holds (a document may hold it as earlier versions wrote
    // it), and what a neutral part cannot hold, is refused naming the item,
    // as WriteZPI and the hand-over refuse it; nothing is written.
    std::string fault = qel_intf_data_fault(root);
    if (fault.empty())
        fault = neut_part_fault(root);
    if (!fault.empty())
        ThrowSimple(ZPI_STATUS_DOC_RECORD, fault);

    // The model's own records are never touched: the conversion works on a
    // copy, freed when this ends.
    QelIntfDataPtr copy;
    if (const int st = qel_intf_data_copy(root, OutPtr(copy)); st != 0)
        ThrowSimple(st);

    NeutralPartPtr part;
    // What single items leave out of the part is told, and the rest saved.
    neut_convert_part(copy.get(), OutPtr(part), "SaveAsNeutral");
    if (!part.get())
        ThrowSimple(QEL_ERR_NO_MEMORY);

    xrchandle<KWPIModelExt> ext = GetWPIModelExt();
    // What the extension conversion leaves out is told, and the rest saved.
    if (const qel_intf_data_extend* record = ExtensionRecord(ext))
        neut_convert_extend(part.get(), record, "SaveAsNeutral");

    std::lock_guard<std::mutex> guard(NeutralSaveLock());
    InNeutralSave inSave;
    btkWString location;
    UnibufRegistration registration(stream.get(), kNeutralStreamName, &location);
    // Someone else holds the name: writing now would go to their stream.
    if (!registration.IsRegistered())
        ThrowSimple(KPI_STATUS_NEUTRAL_STREAM_TAKEN,
                    "the stream name \"kernel.neu.1\" is held by another user in the process");
    file_set_default_prod_id(kNeutralProductId, kkBaseCommonFuncs::GetMajorMinorVersion(),
                             DateCode());
    // A write that did not arrive whole (also one whose stream threw) is
    // reported with what went wrong rather than passed off as saved; the
    // caller's stream is left open either way.
    std::string why;
    if (stream_neutral_to_pfa_why(location, part.get(), &why) != 1)
        ThrowSimple(KPI_STATUS_NEUTRAL_WRITE_FAILED, "the neutral part was not written whole: " + why);
}

// ---- interface-data document -------------------------------------------------------

void KWPIModel_i::WriteZPI(const char* path) {
    if (!path)
        ThrowInvalidArg(1, 0);
    // A closed model is refused as SaveAsNeutral refuses it: what it still
    // lists is not its interface data.
    if (closed_)
        ThrowNothingToSave(*this);
    xrchandle<KWPIModelExt> ext = GetWPIModelExt();
    const qel_intf_data_extend* record = ExtensionRecord(ext);
    // Either writer gives the whole document or none; a failure is raised
    // with the writer's status and its message (the path and the reason).
    try {
        if (qel_intf_data* root = GetIntfData())
            IntfXmlZPI writer(path, root, record);
        else // cache mode: from the model's objects
            IntfXmlKPIWriter writer(path, xrchandle<KWPIModel>(static_cast<KWPIModel*>(this)),
                                    record);
    } catch (const IntfXmlError& e) {
        ThrowSimple(e.Status() != 0 ? e.Status() : INTFXML_ERR_WRITE, e.Message());
    }
}

xrchandle<KWPIModel> KWPISession_i::ReadZPI(const char* path) {
    // Reading never raises: whatever goes wrong is told on standard error,
    // with the path and the reason, and the model is given when it was made
    // before the failure.
    xrchandle<KWPIModel> model;
    try {
        if (!path) {
            ReportUnreadable("no document name");
            return model;
        }
        qel_intf_data* data = nullptr;
        qel_intf_data_extend* extension = nullptr;
        std::string missing;
        IntfXmlZPI::Read(path, &data, &extension, &missing);
        QelIntfDataPtr dataHolder(data);
        QelExtendBlockPtr extensionHolder(extension);
        // A document without interface data gives no model.
        if (!dataHolder) {
            ReportUnreadable(IntfXmlReadFailure(path, missing));
            return model;
        }
        // The model frees the record from now on, even when its
        // construction fails half-way.
        model = new KWPIModel_i(dataHolder.release(), false);
        if (extensionHolder) {
            xrchandle<KWPIModelExt> ext(new KWPIModelExt_i(extensionHolder.get()));
            extensionHolder.release();
            model->SetWPIModelExt(ext);
        }
    } catch (...) {
        bool named = false;
        const std::string why = IntfXmlCaughtText(&named);
        ReportUnreadable(named ? why : IntfXmlReadFailure(path, why));
    }
    return model;
}

// ---- model over a caller's records ------------------------------------------------

// Makes a model over copies of `data` and `extension` (both only read; the
// caller keeps and frees its records). Returns 1 on success. Returns 0 for
// a null `data` or `out` (out untouched), when `data` or `extension` holds
// what no model holds (qel_intf_data_fault, qel_intf_data_extend_fault:
// told in one line naming the item, out untouched), when the interface
// data cannot be copied (told, out untouched), or when the extension cannot
// be copied, a null `extension` included: *out then holds the model,
// without an extension.
//
// Whenever *out was set, it holds a model on which no reference is taken
// for the caller: the caller takes ownership by wrapping it in a handle at
// once (xrchandle<KWPIModel> model(*out)); the model is freed when the last
// handle goes. Raises nothing.
int CreatePIModel_global(qel_intf_data* data, qel_intf_data_extend* extension, KWPIModel** out) {
    if (!data || !out)
        return 0;
    try {
        // The checks the object interface applies where objects are made.
        std::string fault = qel_intf_data_fault(data);
        if (fault.empty())
            fault = qel_intf_data_extend_fault(extension);
        if (!fault.empty()) {
            btk_tell("CreatePIModel_global: no model made: %s", fault.c_str());
            return 0;
        }
        auto* block = static_cast<qel_intf_data_extend*>(getmem(sizeof(qel_intf_data_extend)));
        if (!block)
            return 0;
        QelExtendBlockPtr blockHolder(block);

        QelIntfDataPtr copy;
        if (const int st = qel_intf_data_copy(data, OutPtr(copy)); st != 0) {
            btk_tell("CreatePIModel_global: no model made: the interface data cannot be copied "
                     "(status %d)",
                     st);
            return 0;
        }
        // The model is handed out without a reference: nothing here may
        // take and drop one, or the model would be destroyed.
        KWPIModel_i* model = new KWPIModel_i(copy.release(), false);
        *out = model; // the interface pointer of the new model

        if (qel_intf_data_extend_copy(extension, block) != 0)
            return 0;
        xrchandle<KWPIModelExt> ext(new KWPIModelExt_i(block));
        blockHolder.release();
        model->SetWPIModelExt(ext);
        return 1;
    } catch (...) {
        return 0;
    }
}
