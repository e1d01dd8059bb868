// Requests that stand in for the host toolkit's own functions: model names
// and types, temporary properties, windows and messages, external data,
// parameters, coordinate systems, model units and accuracy.
//
// Three status conventions:
//   A  100 when the request did not go out, else the status (field 0, -1
//      when not a number); 0 is success.
//   B  as A, but -5 is success too: the outputs are filled and -5 returned
//      (requests 135, 140, 147, 184).
//   C  0 when the request did not go out, else the status; 1 is success
//      (requests 144, 169, 189).
// A request with a refused argument (a null record that must be read, a
// text holding a line feed, a wide text that is not whole UTF-16, told)
// does not go out. A host's text for a wide field (a name, a text value)
// is handed back whole or not at all: one that is not UTF-8 answers -1, one
// that does not fit its field ZR_STATUS_TEXT_TOO_LONG, told, and the
// record is left as it was.
//
// Records travel as one field each, their parts separated by one blank and
// taken back by position.
#include "client/zr_proxy.h"
#include "client/zr_requests_internal.h"
#include "api/zpi50_client.h"

#include "xmemory.h"

#include <cstring>
#include <string>
#include <type_traits>

using zr_detail::CopyField;
using zr_detail::Exchange;
using zr_detail::HostTextToWide;
using zr_detail::IntReply;
using zr_detail::StatusReply;
using zr_detail::TextReply;
using zr_detail::NewHostInt;
using zr_detail::PartAt;
using zr_detail::PutWide;
using zr_detail::ReadReply;
using zr_detail::Request;
using zr_detail::SplitParts;
using zr_detail::WideToNarrow;

namespace {

using zr_detail::kNotSent;
using zr_detail::kBadArg;

// ReadReply for one output record: fill(reply, record) and clear(record)
// run only when the caller gave one. A fill that answers an int answers
// that instead when it is not 0 (it then left the record as it was).
template <class T, class Fill, class Clear>
int ReadInto(ZorvanProxy& proxy, const Request& req, T* out, Fill fill, Clear clear, bool alsoFive = false) {
    return ReadReply(
        proxy, req,
        [&](const ZrReply& reply) -> int {
            if (!out)
                return 0;
            if constexpr (std::is_void_v<std::invoke_result_t<Fill&, const ZrReply&, T&>>) {
                fill(reply, *out);
                return 0;
            } else {
                return fill(reply, *out);
            }
        },
        [&] {
            if (out)
                clear(*out);
        },
        alsoFive);
}

// Every byte of the record 0xFF: what a failed request leaves in it.
template <class T>
void FillFF(T& record) {
    std::memset(&record, 0xFF, sizeof record);
}

// A value of a message-argument type (ZR_MSGARG_...) added to the request,
// a missing integer or double as an empty text; a wide text that is not
// whole UTF-16 refuses the request, told naming it as `what`. False, with
// nothing added, for any other type.
bool AddTypedValue(Request& req, int type, const void* value, const std::string& what) {
    switch (type) {
    case ZR_MSGARG_INT:
        value ? req.AddInt(*static_cast<const int32_t*>(value)) : req.AddText("");
        return true;
    case ZR_MSGARG_DOUBLE:
        value ? req.AddDouble(*static_cast<const double*>(value)) : req.AddText("");
        return true;
    case ZR_MSGARG_WIDE:
        req.AddText(
            WideToNarrow(req, what.c_str(), static_cast<const char16_t*>(value), 0).c_str());
        return true;
    case ZR_MSGARG_TEXT:
        req.AddText(static_cast<const char*>(value));
        return true;
    default:
        return false;
    }
}

// ---- model items

btkString ModelitemText(const QelModelitem& item) {
    btkString text = IntToString(item.type);
    text += ' ';
    text += IntToString(item.id);
    text += ' ';
    text += IntToString(item.owner ? *item.owner : -1);
    return text;
}

// Parts `from` .. from+2 into the item. The owner id goes into the block the
// item points to (made when there is none); when it is not a number the
// owner becomes null.
void ReadModelitem(const std::vector<btkString>& parts, size_t from, QelModelitem& item) {
    item.type = PartAt(parts, from).AsInt();
    item.id = PartAt(parts, from + 1).AsInt();
    int owner = 0;
    if (PartAt(parts, from + 2).ToInt(owner)) {
        if (item.owner)
            *item.owner = owner;
        else
            item.owner = NewHostInt(owner);
    } else {
        item.owner = nullptr;
    }
}

void ClearModelitem(QelModelitem& item) {
    item.type = -1;
    item.id = -1;
    item.owner = nullptr;
}

// ---- parameters

btkString ParameterText(Request& req, const QelParameter& param) {
    btkString text = IntToString(param.type);
    text += ' ';
    text += WideToNarrow(req, "the parameter's name", param.name, QEL_NAME_LEN).c_str();
    text += ' ';
    text += IntToString(param.owner.kind);
    text += ' ';
    if (param.owner.kind == 0)
        text += IntToString(param.owner.who.model ? *param.owner.who.model : -1);
    else
        text += ModelitemText(param.owner.who.item);
    return text;
}

// 0, or the status of a name that cannot be handed back (the record left
// as it was).
int ReadParameter(int opcode, const char* field, QelParameter& param) {
    std::vector<btkString> parts = SplitParts(field);
    std::u16string name;
    if (int status =
            HostTextToWide(opcode, "parameter name", PartAt(parts, 1).str(), QEL_NAME_LEN, name))
        return status;
    param.type = PartAt(parts, 0).AsInt();
    PutWide(name, param.name);
    param.owner.kind = PartAt(parts, 2).AsInt();
    if (param.owner.kind == 0) {
        int model = 0;
        param.owner.who.model = PartAt(parts, 3).ToInt(model) ? NewHostInt(model) : nullptr;
    } else if (param.owner.kind == 1) {
        param.owner.who.item.owner = nullptr;
        ReadModelitem(parts, 3, param.owner.who.item);
    } else {
        std::memset(&param.owner.who, 0xFF, sizeof param.owner.who);
    }
    return 0;
}

// ---- parameter values

// Type, then value, each followed by one blank. A text value has its blanks
// turned into tabs so that the blank stays the separator.
btkString ParamvalueText(Request& req, const QelParamvalue& value) {
    btkString text = IntToString(value.type);
    text += ' ';
    switch (value.type) {
    case QEL_PARAM_DOUBLE:
        text += DoubleToString(value.value.d_val);
        text += ' ';
        break;
    case QEL_PARAM_STRING: {
        std::string s = WideToNarrow(req, "the value's text", value.value.s_val, QEL_LINE_LEN);
        for (char& c : s)
            if (c == ' ')
                c = '\t';
        text += s.c_str();
        text += ' ';
        break;
    }
    case QEL_PARAM_INTEGER:
    case QEL_PARAM_NOTE_ID:
        text += IntToString(value.value.i_val);
        text += ' ';
        break;
    case QEL_PARAM_BOOLEAN:
        text += IntToString(value.value.l_val);
        text += ' ';
        break;
    default:
        break;
    }
    return text;
}

// 0, or the status of a text that cannot be handed back (the record left
// as it was).
int ReadParamvalue(int opcode, const char* field, QelParamvalue& value) {
    std::vector<btkString> parts = SplitParts(field);
    const int type = PartAt(parts, 0).AsInt();
    const btkString& v = PartAt(parts, 1);
    std::u16string text;
    if (type == QEL_PARAM_STRING) {
        std::string s = v.str();
        for (char& c : s)
            if (c == '\t')
                c = ' ';
        if (int status = HostTextToWide(opcode, "value text", s, QEL_LINE_LEN, text))
            return status;
    }
    value.type = type;
    switch (value.type) {
    case QEL_PARAM_DOUBLE: {
        double d = -1.0;
        value.value.d_val = v.ToDouble(d) ? d : -1.0;
        break;
    }
    case QEL_PARAM_STRING:
        PutWide(text, value.value.s_val);
        break;
    case QEL_PARAM_INTEGER:
    case QEL_PARAM_NOTE_ID:
        value.value.i_val = v.AsInt();
        break;
    case QEL_PARAM_BOOLEAN: {
        int i = 0;
        value.value.l_val = v.ToInt(i) ? static_cast<int16_t>(i) : static_cast<int16_t>(-1);
        break;
    }
    default:
        break;
    }
    return 0;
}

// ---- external data

btkString ClassText(Request& req, const QelExtdataClass& klass,
                    const char* what = "the class's name") {
    btkString text = IntToString(klass.model ? *klass.model : -1);
    text += ' ';
    text += WideToNarrow(req, what, klass.name, QEL_NAME_LEN).c_str();
    return text;
}

btkString SlotText(Request& req, const QelExtdataSlot& slot) {
    btkString text;
    if (slot.klass) {
        text = ClassText(req, *slot.klass, "the slot's class's name");
    } else {
        text = "-1 ";
    }
    text += ' ';
    std::string name = WideToNarrow(req, "the slot's name", slot.name, QEL_NAME_LEN);
    text += name.empty() ? "QEL_VALUE_UNUSED" : name.c_str();
    text += ' ';
    text += IntToString(slot.id);
    return text;
}

// A name or id list reply: the count in field 1 (0 when not a number) and
// the entries, the blank-separated items of field 2. As many entries as the
// count claims and the field really holds; *count is that number. The
// array (xar_alloc(count, sizeof(T), 3)) is made only for one entry or more
// and a given `out`; with none, *out is left as it was. fill(opcode, entry,
// word, index) answers 0, or a status that leaves both outputs as they were
// (a name that cannot be handed back). On a status that is not 0 the
// outputs stay as they were, except that `clearCount` sets *count to 0.
template <class T, class Fill>
int ListRequest(ZorvanProxy& proxy, const Request& req, int* count, T** out, bool clearCount, Fill fill) {
    constexpr int elemSize = static_cast<int>(sizeof(T));
    auto read = [&](const ZrReply& reply) {
        std::vector<btkString> items = btkString(reply.GetField(2)).Split(" ", 0);
        int n = reply.GetInt(1, 0);
        if (n > static_cast<int>(items.size()))
            n = static_cast<int>(items.size());
        if (n < 0)
            n = 0;
        if (n > 0 && out) {
            void* arr = xar_alloc(n, elemSize, 3);
            if (!arr)
                return -10;
            for (int i = 0; i < n; ++i) {
                if (int status = fill(req.GetOpcode(),
                                      static_cast<char*>(arr) + static_cast<size_t>(i) * elemSize,
                                      items[size_t(i)], i)) {
                    xar_free(&arr);
                    return status;
                }
            }
            *out = static_cast<T*>(arr);
        }
        if (count)
            *count = n;
        return 0;
    };
    return ReadReply(proxy, req, read, [&] {
        if (clearCount && count)
            *count = 0;
    });
}

// An entry of a name list, a `what` ("slot name") on a told line.
struct FillName {
    const char* what;
    int operator()(int opcode, char* entry, const btkString& word, int index) const {
        const std::string named = std::string(what) + " at index " + std::to_string(index);
        std::u16string name;
        if (int status = HostTextToWide(opcode, named.c_str(), word.str(), QEL_NAME_LEN, name))
            return status;
        PutWide(name, reinterpret_cast<char16_t*>(entry));
        return 0;
    }
};

int FillId(int, char* entry, const btkString& word, int) {
    int32_t id = word.AsInt();
    std::memcpy(entry, &id, sizeof id);
    return 0;
}

} // namespace

// ---- directory, model names and types -------------------------------------------

int ZorvanProxy::QelDirectoryCurrentGet(char* buffer, size_t capacity) {
    return TextReply(*this, Request(113), buffer, capacity);
}

int ZorvanProxy::QelMdlNameGet(int model, char* buffer, size_t capacity) {
    Request req(114);
    req.AddInt(model);
    return TextReply(*this, req, buffer, capacity);
}

int ZorvanProxy::QelMdlTypeGet(int model, int* type) {
    Request req(115);
    req.AddInt(model);
    return IntReply(*this, req, type, -1);
}

// ---- temporary properties --------------------------------------------------------

int ZorvanProxy::QelTempPropertyIntGet(const char* name, int* value) {
    Request req(116);
    req.AddText(name);
    return IntReply(*this, req, value, -1);
}

int ZorvanProxy::QelTempPropertyPathGet(const char* name, char* buffer, size_t capacity) {
    Request req(117);
    req.AddText(name);
    return TextReply(*this, req, buffer, capacity);
}

int ZorvanProxy::QelTempPropertyIntSet(const char* name, int value) {
    Request req(118);
    req.AddText(name).AddInt(value);
    return zr_detail::WholeReply(*this, req);
}

int ZorvanProxy::QelTempPropertyPathSet(const char* name, const char* path) {
    Request req(119);
    req.AddText(name).AddText(path);
    return zr_detail::WholeReply(*this, req);
}

// ---- views, windows, messages --------------------------------------------------

int ZorvanProxy::QelViewReset(int model) {
    Request req(120);
    req.AddInt(model);
    return StatusReply(*this, req, kNotSent);
}

int ZorvanProxy::QelWindowCurrentGet(int* window) {
    return ReadInto(
        *this, Request(121), window, [](const ZrReply& reply, int& out) { out = reply.GetInt(1, -1); },
        [](int& out) { out = -1; });
}

int ZorvanProxy::QelWindowRepaint(int window) {
    Request req(122);
    req.AddInt(window);
    return StatusReply(*this, req, kNotSent);
}

int ZorvanProxy::QelMessageFormatGet(const char* key, btkString& format) {
    Request req(123);
    req.AddText(key);
    return ReadReply(*this, req, [&](const ZrReply& reply) { format = reply.GetField(1); });
}

int ZorvanProxy::QelMessageShow(const char* file, const char* key, int count, const ZrMessageArg* args) {
    if (count < 0 || count > ZR_MESSAGE_MAX_ARGS || (count > 0 && !args))
        return kBadArg;
    Request req(124);
    req.AddText(file).AddText(key).AddInt(count);
    for (int i = 0; i < count; ++i) {
        // A missing value is sent as an empty value of its type, so that the
        // pairs after it stay in place; an unknown type has no type code.
        if (AddTypedValue(req, args[i].type, args[i].value,
                          "message argument " + std::to_string(i)))
            req.AddInt(args[i].type);
        else
            req.AddText("");
    }
    return StatusReply(*this, req, kNotSent);
}

int ZorvanProxy::QelMessageClear() {
    return StatusReply(*this, Request(125), kNotSent);
}

int ZorvanProxy::QelSolidRegenerate(int solid, int flags) {
    Request req(126);
    req.AddInt(solid).AddInt(flags);
    return StatusReply(*this, req, kNotSent);
}

// ---- external data ---------------------------------------------------------------

int ZorvanProxy::QelExtdataSlotNamesList(const QelExtdataClass* klass, int* count, QelName** names) {
    if (!klass)
        return kBadArg;
    Request req(127);
    req.AddText(ClassText(req, *klass));
    return ListRequest(*this, req, count, names, false, FillName{"slot name"});
}

int ZorvanProxy::QelExtdataClassNamesList(int model, int* count, QelName** names) {
    Request req(128);
    req.AddInt(model);
    return ListRequest(*this, req, count, names, false, FillName{"class name"});
}

int ZorvanProxy::QelExtdataClassRegister(int model, const char* name, QelExtdataClass* klass) {
    Request req(129);
    req.AddInt(model).AddText(name);
    return ReadInto(
        *this, req, klass,
        [&req](const ZrReply& reply, QelExtdataClass& out) {
            std::vector<btkString> parts = SplitParts(reply.GetField(1));
            std::u16string name;
            if (int status = HostTextToWide(req.GetOpcode(), "class name", PartAt(parts, 1).str(),
                                            QEL_NAME_LEN, name))
                return status;
            int id = 0;
            if (PartAt(parts, 0).ToInt(id)) {
                if (out.model)
                    *out.model = id;
                else
                    out.model = NewHostInt(id);
            } else {
                out.model = nullptr;
            }
            PutWide(name, out.name);
            return 0;
        },
        [](QelExtdataClass& out) {
            out.model = nullptr;
            out.name[0] = 0;
        });
}

int ZorvanProxy::QelExtdataSlotCreate(const QelExtdataClass* klass, const char* name, QelExtdataSlot* slot) {
    if (!klass)
        return kBadArg;
    Request req(130);
    req.AddText(ClassText(req, *klass)).AddText(name);
    return ReadInto(
        *this, req, slot,
        [&req, klass](const ZrReply& reply, QelExtdataSlot& out) {
            // The reply is the slot's text: class (two parts), name, id.
            std::vector<btkString> parts = SplitParts(reply.GetField(1));
            const btkString& slotName = PartAt(parts, 2);
            std::u16string name;
            if (int status = HostTextToWide(req.GetOpcode(), "slot name",
                                            slotName == "QEL_VALUE_UNUSED" ? "" : slotName.str(),
                                            QEL_NAME_LEN, name))
                return status;
            PutWide(name, out.name);
            out.id = PartAt(parts, 3).AsInt();
            out.klass = const_cast<QelExtdataClass*>(klass);
            return 0;
        },
        [](QelExtdataSlot& out) {
            out.klass = nullptr;
            out.name[0] = 0;
            out.id = -1;
        });
}

int ZorvanProxy::QelExtdataSlotWrite(const QelExtdataSlot* slot, int a, int type, int c, const void* value) {
    if (!slot)
        return kBadArg;
    Request req(131);
    if (type >= ZR_MSGARG_INT && type <= ZR_MSGARG_TEXT && !value)
        return kBadArg;
    req.AddText(SlotText(req, *slot)).AddInt(a).AddInt(type).AddInt(c);
    AddTypedValue(req, type, value, "the value");
    return StatusReply(*this, req, kNotSent);
}

int ZorvanProxy::QelExtdataSlotIdsList(const QelExtdataClass* klass, int* count, int32_t** ids) {
    if (!klass)
        return kBadArg;
    Request req(132);
    req.AddText(ClassText(req, *klass));
    return ListRequest(*this, req, count, ids, true, FillId);
}

// ---- model items and parameters -------------------------------------------------

namespace {
int ReadModelitemReply(ZorvanProxy& proxy, const Request& req, QelModelitem* item) {
    return ReadInto(
        proxy, req, item,
        [](const ZrReply& reply, QelModelitem& out) { ReadModelitem(SplitParts(reply.GetField(1)), 0, out); },
        ClearModelitem);
}

// Requests answered by a parameter record in field 1 (134, 135).
int ReadParameterReply(ZorvanProxy& proxy, const Request& req, QelParameter* param, bool alsoFive) {
    return ReadInto(
        proxy, req, param,
        [&req](const ZrReply& reply, QelParameter& out) {
            return ReadParameter(req.GetOpcode(), reply.GetField(1), out);
        },
        FillFF<QelParameter>, alsoFive);
}
} // namespace

int ZorvanProxy::QelMdlToModelitem(int model, QelModelitem* item) {
    Request req(133);
    req.AddInt(model);
    return ReadModelitemReply(*this, req, item);
}

int ZorvanProxy::QelModelitemInit(int a, int b, int c, QelModelitem* item) {
    Request req(142);
    req.AddInt(a).AddInt(b).AddInt(c);
    return ReadModelitemReply(*this, req, item);
}

int ZorvanProxy::QelParameterInit(const QelModelitem* owner, const char* name, QelParameter* param) {
    if (!owner)
        return kBadArg;
    Request req(134);
    req.AddText(ModelitemText(*owner)).AddText(name);
    return ReadParameterReply(*this, req, param, false);
}

int ZorvanProxy::QelParamReadonlyCreate(const QelModelitem* owner, const char* name, const QelParamvalue* value,
                                        int flags, QelParameter* param) {
    if (!owner || !value)
        return kBadArg;
    Request req(135);
    req.AddText(ModelitemText(*owner))
        .AddText(name)
        .AddText(ParamvalueText(req, *value))
        .AddInt(flags);
    return ReadParameterReply(*this, req, param, true);
}

int ZorvanProxy::QelParameterValueGet(const QelParameter* param, QelParamvalue* value) {
    if (!param)
        return kBadArg;
    Request req(136);
    req.AddText(ParameterText(req, *param));
    return ReadInto(
        *this, req, value,
        [&req](const ZrReply& reply, QelParamvalue& out) {
            return ReadParamvalue(req.GetOpcode(), reply.GetField(1), out);
        },
        FillFF<QelParamvalue>);
}

int ZorvanProxy::QelParamReadonlyModify(const QelParameter* param, const QelParamvalue* value, int flags) {
    if (!param || !value)
        return kBadArg;
    Request req(137);
    req.AddText(ParameterText(req, *param)).AddText(ParamvalueText(req, *value)).AddInt(flags);
    return StatusReply(*this, req, kNotSent);
}

// ---- coordinate systems ---------------------------------------------------------

namespace {
// Requests answered by a count in field 1; `fallback` when it is missing or
// not a number, and on a status that is not 0 (138, 143).
int CountReply(ZorvanProxy& proxy, int opcode, int model, int* count, int fallback) {
    Request req(opcode);
    req.AddInt(model);
    return ReadInto(
        proxy, req, count, [fallback](const ZrReply& reply, int& out) { out = reply.GetInt(1, fallback); },
        [fallback](int& out) { out = fallback; });
}
} // namespace

int ZorvanProxy::QelGetNumofCsys(int model, int* count) { return CountReply(*this, 138, model, count, -1); }

// Requests whose output is a new host integer; `extraSuccess` is a further
// status that fills the output too (group B: -5).
namespace {
int ReadNewInt(ZorvanProxy& proxy, const Request& req, int32_t** out, bool groupB) {
    return ReadReply(
        proxy, req,
        [out](const ZrReply& reply) {
            if (!out)
                return 0;
            int32_t* block = NewHostInt(reply.GetInt(1, -1));
            if (!block)
                return -10;
            *out = block;
            return 0;
        },
        [] {}, groupB);
}
} // namespace

int ZorvanProxy::QelGetFirstCsys(int model, int32_t** csys) {
    Request req(139);
    req.AddInt(model);
    return ReadNewInt(*this, req, csys, false);
}

int ZorvanProxy::QelGetDefCsys(int model, int32_t** csys) {
    Request req(140);
    req.AddInt(model);
    return ReadNewInt(*this, req, csys, true);
}

int ZorvanProxy::QelGetUserSelectCsys(int model, int32_t** csys) {
    Request req(147);
    req.AddInt(model);
    return ReadNewInt(*this, req, csys, true);
}

int ZorvanProxy::QelCsysInit(int a, int b, int32_t** csys) {
    Request req(184);
    req.AddInt(a).AddInt(b);
    return ReadNewInt(*this, req, csys, true);
}

int ZorvanProxy::QelCsysIdGet(const int32_t* csys, int* id) {
    if (!csys)
        return kBadArg;
    Request req(141);
    req.AddInt(*csys);
    ZrReply reply;
    if (!Exchange(*this, req, reply))
        return kNotSent;
    // Field 1 is read whatever the status (-1 when missing or not a number).
    if (id)
        *id = reply.GetInt(1, -1);
    return reply.GetStatus();
}

int ZorvanProxy::QelGetCsysMatrix(int a, int b, double matrix[4][3]) {
    Request req(145);
    req.AddInt(a).AddInt(b);
    ZrReply reply;
    if (!Exchange(*this, req, reply))
        return kNotSent;
    int status = reply.GetStatus();
    if (status != 0 || !matrix)
        return status;
    for (int row = 0; row < 4; ++row) {
        std::vector<btkString> values = btkString(reply.GetField(row + 1)).Split(" ", 0);
        for (int col = 0; col < 3 && col < static_cast<int>(values.size()); ++col)
            values[col].ToDouble(matrix[row][col]); // a value that is not a number is left alone
    }
    return 0;
}

// ---- features, items, names ---------------------------------------------------

int ZorvanProxy::QelSolidFeatCount(int model, int* count) { return CountReply(*this, 143, model, count, 0); }

int ZorvanProxy::QelModelitemNameGet(const QelModelitem* item, char* buffer, size_t capacity) {
    if (!item)
        return kBadArg;
    Request req(146);
    req.AddText(ModelitemText(*item));
    return TextReply(*this, req, buffer, capacity);
}

int ZorvanProxy::QelMdlNameIsUsed(const char* name, int type, int* used) {
    Request req(148);
    req.AddText(name).AddInt(type);
    return IntReply(*this, req, used, 0);
}

// ---- units and accuracy (group C: 0 when not sent, 1 is success) -------------

int ZorvanProxy::QelGetModelUnit(int a, int b, int* type, char* name, double* factor, size_t capacity) {
    Request req(144);
    req.AddInt(a).AddInt(b);
    ZrReply reply;
    if (!Exchange(*this, req, reply))
        return 0;
    int status = reply.GetStatus();
    if (status == 1 && name) {
        int copied = CopyField(reply, 2, name, capacity);
        if (copied != 0)
            status = copied;
    }
    if (status != 1) {
        if (type)
            *type = -1;
        if (factor)
            *factor = 1.0;
        return status;
    }
    if (type)
        *type = reply.GetInt(1, -1);
    if (factor)
        *factor = reply.GetDouble(3, 1.0);
    return 1;
}

int ZorvanProxy::QelSetModelUnit(int a, int b, int c) {
    Request req(169);
    req.AddInt(a).AddInt(b).AddInt(c);
    return StatusReply(*this, req, 0);
}

int ZorvanProxy::QelGetModelAccuracy(int model, double* accuracy) {
    Request req(189);
    req.AddInt(model);
    ZrReply reply;
    if (!Exchange(*this, req, reply))
        return 0;
    int status = reply.GetStatus();
    if (accuracy)
        *accuracy = status == 1 ? reply.GetDouble(1, -1.0) : 0.0;
    return status;
}
