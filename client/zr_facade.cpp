#include "client/zr_facade.h"

#include "client/zr_client.h"
#include "client/zr_proxy.h"
#include "client/zr_requests_internal.h"
#include "kernel/records/wide_name.h"

#include "btkstring.h"
#include "xmemory.h"

#include <climits>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kNotSent = ZPI_REQUEST_NOT_SENT;
constexpr int kBadArg = ZPI_REQUEST_BAD_ARG;

// The wide text argument `argument` as UTF-8 into `out`: false, told
// ("<function>: nothing sent: the argument ..."), when it is not whole
// UTF-16 (a lone surrogate), which no UTF-8 text carries: the function then
// sends nothing and answers kNotSent. Null is "".
bool Narrow(const char* argument, const char16_t* text, std::string& out,
            const char* refused = "nothing sent") {
    const std::string fault = zr_detail::WideFault(text);
    if (!fault.empty()) {
        zr_detail::TellText(std::string(refused) + ": the argument \"" + argument +
                            "\" is not whole UTF-16: " + fault);
        return false;
    }
    out = btkStrUtf16ToUtf8(text);
    return true;
}

// call(narrowed text) for a wide text argument; kNotSent, told, when it is
// not whole UTF-16.
template <class Call> int WithNarrow(const char* argument, const char16_t* text, Call call) {
    std::string narrow;
    return Narrow(argument, text, narrow) ? call(narrow.c_str()) : kNotSent;
}

// An 8-bit buffer that holds any text of `units` wide units.
std::vector<char> NarrowBuffer(int units) { return std::vector<char>(static_cast<size_t>(units) * 3 + 1, 0); }

// A text-returning request `opcode` through a local buffer of `units` wide
// units. The host's text goes into the caller's `out` whole or not at all,
// `out` untouched otherwise: one that is not UTF-8 answers
// ZPI_REQUEST_BAD_REPLY, told (`what` names it); one that does not fit
// ZR_STATUS_TEXT_TOO_LONG, as the proxy answers one longer than its buffer.
template <class Call>
int TextOut(int opcode, const char* what, char16_t* out, int units, Call call) {
    if (!out)
        return kBadArg;
    std::vector<char> buffer = NarrowBuffer(units);
    int status = call(buffer.data(), buffer.size());
    if (status != 0)
        return status;
    std::u16string wide;
    if (int refused = zr_detail::HostTextToWide(opcode, what, buffer.data(), INT_MAX, wide))
        return refused;
    if (wide.size() >= static_cast<size_t>(units))
        return ZR_STATUS_TEXT_TOO_LONG;
    zr_detail::PutWide(wide, out);
    return 0;
}

// Makes a new handle: its id block is allocated here and filled by the
// request; freed again when the request fails.
template <class Call> int NewHandle(QelMdl* handle, Call call) {
    if (!handle)
        return kBadArg;
    int32_t id = -1;
    int status = call(&id);
    if (status != 0)
        return status;
    auto* block = static_cast<int32_t*>(getmem(sizeof(int32_t)));
    if (!block)
        return ZPI_REQUEST_NO_MEMORY;
    *block = id;
    *handle = block;
    return 0;
}

// Requests that fill a record whose `slot` is a new id block: the block is
// made first and put in the slot; when the request leaves the slot without
// it (a failure, an id that is not a number) it is freed again. A failure
// that left the block in place is a request that did not go out: the slot
// gets back what it held, as nothing was written.
template <class Call> int WithNewBlock(int32_t*& slot, Call call) {
    auto* block = static_cast<int32_t*>(getmem(sizeof(int32_t)));
    if (!block)
        return ZPI_REQUEST_NO_MEMORY;
    int32_t* const before = slot;
    slot = block;
    int status = call();
    if (slot != block) {
        rlsmem(block);
    } else if (status != 0) {
        rlsmem(block);
        slot = before;
    }
    return status;
}

// A model item whose owner is a new id block.
template <class Call> int ItemWithNewOwner(QelModelitem* item, Call call) {
    if (!item)
        return kBadArg;
    return WithNewBlock(item->owner, [&] { return call(item); });
}

} // namespace

// ---- forwarding ------------------------------------------------------------------

namespace {

// Runs `call` on the facade proxy as the C function `function` (named on
// the lines told about its texts): 100 before InitializeClient succeeded.
template <class Call> int Forward(const char* function, Call call) {
    xrchandle<ZorvanProxy> hold = ZrGetFacadeProxy();
    ZorvanProxy* proxy = hold.get();
    if (!proxy)
        return kNotSent;
    zr_detail::FunctionScope scope(function);
    return call(*proxy);
}

// The same for a call on a model handle: -2 for a null handle.
template <class Call> int ForwardModel(const char* function, QelMdl model, Call call) {
    return Forward(function,
                   [&](ZorvanProxy& proxy) { return model ? call(proxy, *model) : kBadArg; });
}

} // namespace

extern "C" {

int QelDirectoryCurrentGet(char16_t* path) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return TextOut(113, "current folder", path, QEL_PATH_LEN, [&](char* buffer, size_t size) {
            return proxy.QelDirectoryCurrentGet(buffer, size);
        });
    });
}

int QelSolidInit(const char16_t* name, int type, QelMdl* solid) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return WithNarrow("name", name, [&](const char* n) {
            return NewHandle(solid, [&](int32_t* id) { return proxy.InitSolid(n, type, id); });
        });
    });
}

int QelSolidCreate(const char16_t* name, int type, QelMdl* solid) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return WithNarrow("name", name, [&](const char* n) {
            return NewHandle(solid, [&](int32_t* id) { return proxy.CreateModel(n, type, id); });
        });
    });
}

int QelImportfeatCreate_zpi(QelMdl model, const int32_t* entity, const qel_intf_data* data,
                            const qel_intf_data_extend* extension, QelModelitem* feature) {
    return ForwardModel(__func__, model, [&](ZorvanProxy& proxy, int id) {
        return proxy.ImportQelIntfDataToFeature(id, entity, data, extension, feature ? &feature->id : nullptr);
    });
}

int QelObjCurGet(int type, QelMdl* model) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return NewHandle(model, [&](int32_t* id) { return proxy.GetCurrentModel(type, id); });
    });
}

int QelMdlNameGet(QelMdl model, char16_t* name) {
    return ForwardModel(__func__, model, [&](ZorvanProxy& proxy, int id) {
        return TextOut(114, "model name", name, QEL_NAME_LEN, [&](char* buffer, size_t size) {
            return proxy.QelMdlNameGet(id, buffer, size);
        });
    });
}

int QelMdlTypeGet(QelMdl model, int* type) {
    return ForwardModel(__func__, model,
                        [&](ZorvanProxy& proxy, int id) { return proxy.QelMdlTypeGet(id, type); });
}

int QelTempPropertyIntGet(const char16_t* name, int* value) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return WithNarrow("name", name,
                          [&](const char* n) { return proxy.QelTempPropertyIntGet(n, value); });
    });
}

int QelTempPropertyPathGet(const char16_t* name, char16_t* path) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return WithNarrow("name", name, [&](const char* n) {
            return TextOut(117, "path", path, QEL_PATH_LEN, [&](char* buffer, size_t size) {
                return proxy.QelTempPropertyPathGet(n, buffer, size);
            });
        });
    });
}

int QelTempPropertyIntSet(const char16_t* name, int value) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return WithNarrow("name", name,
                          [&](const char* n) { return proxy.QelTempPropertyIntSet(n, value); });
    });
}

int QelTempPropertyPathSet(const char16_t* name, const char16_t* path) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return WithNarrow("name", name, [&](const char* n) {
            return WithNarrow("path", path,
                              [&](const char* p) { return proxy.QelTempPropertyPathSet(n, p); });
        });
    });
}

int QelViewReset(QelMdl model) {
    return ForwardModel(__func__, model,
                        [](ZorvanProxy& proxy, int id) { return proxy.QelViewReset(id); });
}

int QelWindowCurrentGet(int* window) {
    return Forward(__func__, [&](ZorvanProxy& proxy) { return proxy.QelWindowCurrentGet(window); });
}

int QelWindowRepaint(int window) {
    return Forward(__func__, [&](ZorvanProxy& proxy) { return proxy.QelWindowRepaint(window); });
}

int QelMessageDisplay(const char16_t* file, const char* key, ...) {
    xrchandle<ZorvanProxy> hold = ZrGetFacadeProxy();
    ZorvanProxy* proxy = hold.get();
    if (!proxy)
        return kNotSent;
    zr_detail::FunctionScope scope(__func__);
    std::string narrowFile;
    if (!Narrow("file", file, narrowFile))
        return kNotSent;
    btkString format;
    int status = proxy->QelMessageFormatGet(key, format);
    if (status != 0)
        return status;
    int32_t types[ZR_MESSAGE_MAX_ARGS];
    int count = 0;
    if (!ZrScanMessageFormat(format.c_str(), types, &count))
        return -1;
    // Only the arguments that the format names are read.
    ZrMessageArg args[ZR_MESSAGE_MAX_ARGS];
    va_list list;
    va_start(list, key);
    for (int i = 0; i < ZR_MESSAGE_MAX_ARGS; ++i) {
        args[i].type = types[i];
        args[i].value = i < count ? va_arg(list, const void*) : nullptr;
    }
    va_end(list);
    // A wide text among them that is not whole UTF-16 is refused there.
    return proxy->QelMessageShow(narrowFile.c_str(), key, count, args);
}

int QelMessageClear(void) {
    return Forward(__func__, [](ZorvanProxy& proxy) { return proxy.QelMessageClear(); });
}

int QelSolidRegenerate(QelMdl solid, int flags) {
    return ForwardModel(__func__, solid, [&](ZorvanProxy& proxy, int id) {
        return proxy.QelSolidRegenerate(id, flags);
    });
}

int QelExtdataSlotNamesList(const QelExtdataClass* klass, int* count, QelName** names) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return proxy.QelExtdataSlotNamesList(klass, count, names);
    });
}

int QelExtdataClassNamesList(QelMdl model, int* count, QelName** names) {
    return ForwardModel(__func__, model, [&](ZorvanProxy& proxy, int id) {
        return proxy.QelExtdataClassNamesList(id, count, names);
    });
}

int QelExtdataClassRegister(QelMdl model, const char16_t* name, QelExtdataClass* klass) {
    return ForwardModel(__func__, model, [&](ZorvanProxy& proxy, int id) {
        if (!klass)
            return kBadArg;
        // The class's model handle is a new id block, kept only when the
        // request fills it.
        return WithNarrow("name", name, [&](const char* n) {
            return WithNewBlock(klass->model,
                                [&] { return proxy.QelExtdataClassRegister(id, n, klass); });
        });
    });
}

int QelExtdataSlotCreate(const QelExtdataClass* klass, const char16_t* name, QelExtdataSlot* slot) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return WithNarrow("name", name, [&](const char* n) {
            return proxy.QelExtdataSlotCreate(klass, n, slot);
        });
    });
}

int QelExtdataSlotWrite(const QelExtdataSlot* slot, int a, int type, int c, const void* value) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return proxy.QelExtdataSlotWrite(slot, a, type, c, value);
    });
}

int QelExtdataSlotIdsList(const QelExtdataClass* klass, int* count, int32_t** ids) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return proxy.QelExtdataSlotIdsList(klass, count, ids);
    });
}

int QelMdlToModelitem(QelMdl model, QelModelitem* item) {
    return ForwardModel(__func__, model, [&](ZorvanProxy& proxy, int id) {
        return ItemWithNewOwner(item, [&](QelModelitem* it) { return proxy.QelMdlToModelitem(id, it); });
    });
}

int QelParameterInit(const QelModelitem* owner, const char16_t* name, QelParameter* param) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return WithNarrow("name", name,
                          [&](const char* n) { return proxy.QelParameterInit(owner, n, param); });
    });
}

int QelParamReadonlyCreate(const QelModelitem* owner, const char16_t* name, const QelParamvalue* value,
                           int flags, QelParameter* param) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return WithNarrow("name", name, [&](const char* n) {
            return proxy.QelParamReadonlyCreate(owner, n, value, flags, param);
        });
    });
}

int QelParameterValueGet(const QelParameter* param, QelParamvalue* value) {
    return Forward(__func__,
                   [&](ZorvanProxy& proxy) { return proxy.QelParameterValueGet(param, value); });
}

int QelParamReadonlyModify(const QelParameter* param, const QelParamvalue* value, int flags) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return proxy.QelParamReadonlyModify(param, value, flags);
    });
}

int QelGetNumofCsys(QelMdl model, int* count) {
    return ForwardModel(__func__, model, [&](ZorvanProxy& proxy, int id) {
        return proxy.QelGetNumofCsys(id, count);
    });
}

int QelGetFirstCsys(QelMdl model, int32_t** csys) {
    return ForwardModel(__func__, model, [&](ZorvanProxy& proxy, int id) {
        return proxy.QelGetFirstCsys(id, csys);
    });
}

int QelGetDefCsys(QelMdl model, int32_t** csys) {
    return ForwardModel(__func__, model,
                        [&](ZorvanProxy& proxy, int id) { return proxy.QelGetDefCsys(id, csys); });
}

int QelCsysIdGet(const int32_t* csys, int* id) {
    return Forward(__func__, [&](ZorvanProxy& proxy) { return proxy.QelCsysIdGet(csys, id); });
}

int QelModelitemInit(int a, int b, int c, QelModelitem* item) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return ItemWithNewOwner(item, [&](QelModelitem* it) { return proxy.QelModelitemInit(a, b, c, it); });
    });
}

int QelSolidFeatCount(QelMdl solid, int* count) {
    return ForwardModel(__func__, solid, [&](ZorvanProxy& proxy, int id) {
        return proxy.QelSolidFeatCount(id, count);
    });
}

int QelGetCsysMatrix(QelMdl model, int id, double matrix[4][3]) {
    return ForwardModel(__func__, model, [&](ZorvanProxy& proxy, int mdl) {
        return proxy.QelGetCsysMatrix(mdl, id, matrix);
    });
}

int QelModelitemNameGet(const QelModelitem* item, char16_t* name) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        if (!item)
            return kBadArg;
        return TextOut(146, "item name", name, QEL_NAME_LEN, [&](char* buffer, size_t size) {
            return proxy.QelModelitemNameGet(item, buffer, size);
        });
    });
}

int QelGetUserSelectCsys(QelMdl model, int32_t** csys) {
    return ForwardModel(__func__, model, [&](ZorvanProxy& proxy, int id) {
        return proxy.QelGetUserSelectCsys(id, csys);
    });
}

int QelMdlNameIsUsed(const char16_t* name, int type, int* used) {
    return Forward(__func__, [&](ZorvanProxy& proxy) {
        return WithNarrow("name", name,
                          [&](const char* n) { return proxy.QelMdlNameIsUsed(n, type, used); });
    });
}

// ---- local -------------------------------------------------------------------------

// Both convert whole or not at all: a text that is not whole UTF-8 or
// UTF-16 leaves `out` empty and answers null, told.
char16_t* QelStringToWstring(char16_t* out, const char* in) {
    if (!out)
        return nullptr;
    std::u16string wide;
    if (!btkStrUtf8ToUtf16Strict(in ? in : "", wide)) {
        out[0] = 0;
        zr_detail::FunctionScope scope(__func__);
        zr_detail::TellText("nothing converted: the argument \"in\" is not UTF-8: " +
                            kname::Shown(in));
        return nullptr;
    }
    zr_detail::PutWide(wide, out);
    return out;
}

char* QelWstringToString(char* out, const char16_t* in) {
    if (!out)
        return nullptr;
    std::string narrow;
    {
        zr_detail::FunctionScope scope(__func__);
        if (!Narrow("in", in, narrow, "nothing converted")) {
            out[0] = 0;
            return nullptr;
        }
    }
    std::memcpy(out, narrow.c_str(), narrow.size() + 1);
    return out;
}

int QelPntTrfEval(const double in[3], const double matrix[4][4], double out[3]) {
    if (!in || !matrix || !out)
        return kBadArg;
    double r[3];
    for (int j = 0; j < 3; ++j)
        r[j] = in[0] * matrix[0][j] + in[1] * matrix[1][j] + in[2] * matrix[2][j] + matrix[3][j];
    std::memcpy(out, r, sizeof r);
    return 0;
}

int QelVectorTrfEval(const double in[3], const double matrix[4][4], double out[3]) {
    if (!in || !matrix || !out)
        return kBadArg;
    double r[3];
    for (int j = 0; j < 3; ++j)
        r[j] = in[0] * matrix[0][j] + in[1] * matrix[1][j] + in[2] * matrix[2][j];
    std::memcpy(out, r, sizeof r);
    return 0;
}

int QelParamvalueSet(QelParamvalue* value, const void* data, int type) {
    if (!value)
        return kBadArg;
    switch (type) {
    case QEL_PARAM_DOUBLE:
    case QEL_PARAM_STRING:
    case QEL_PARAM_INTEGER:
    case QEL_PARAM_BOOLEAN:
    case QEL_PARAM_NOTE_ID:
        if (!data)
            return kBadArg;
        break;
    case QEL_PARAM_VOID:
        break;
    default:
        return kBadArg;
    }
    if (type == QEL_PARAM_STRING && wslen(static_cast<const char16_t*>(data)) >= QEL_LINE_LEN)
        return kBadArg;
    value->type = type;
    switch (type) {
    case QEL_PARAM_DOUBLE:
        std::memcpy(&value->value.d_val, data, sizeof(double));
        break;
    case QEL_PARAM_STRING:
        wscpy(value->value.s_val, static_cast<const char16_t*>(data));
        break;
    case QEL_PARAM_INTEGER:
    case QEL_PARAM_NOTE_ID:
        std::memcpy(&value->value.i_val, data, sizeof(int32_t));
        break;
    case QEL_PARAM_BOOLEAN:
        std::memcpy(&value->value.l_val, data, sizeof(int16_t));
        break;
    default:
        break;
    }
    return 0;
}

int QelParamvalueTypeGet(const QelParamvalue* value, int* type) {
    if (!value || !type)
        return kBadArg;
    *type = value->type;
    return 0;
}

int QelParamvalueValueGet(const QelParamvalue* value, int type, void* data) {
    if (!value || !data || value->type != type)
        return kBadArg;
    switch (type) {
    case QEL_PARAM_DOUBLE:
        std::memcpy(data, &value->value.d_val, sizeof(double));
        break;
    case QEL_PARAM_STRING: {
        // The stored text is bounded by its field, terminated or not.
        int n = 0;
        while (n < QEL_LINE_LEN - 1 && value->value.s_val[n] != 0)
            ++n;
        auto* out = static_cast<char16_t*>(data);
        std::memcpy(out, value->value.s_val, static_cast<size_t>(n) * sizeof(char16_t));
        out[n] = 0;
        break;
    }
    case QEL_PARAM_INTEGER:
    case QEL_PARAM_NOTE_ID:
        std::memcpy(data, &value->value.i_val, sizeof(int32_t));
        break;
    case QEL_PARAM_BOOLEAN:
        std::memcpy(data, &value->value.l_val, sizeof(int16_t));
        break;
    default:
        break;
    }
    return 0;
}

} // extern "C"

bool ZrScanMessageFormat(const char* format, int32_t types[ZR_MESSAGE_MAX_ARGS], int* count) {
    if (!types || !count)
        return false;
    for (int i = 0; i < ZR_MESSAGE_MAX_ARGS; ++i)
        types[i] = -1;
    *count = 0;
    if (!format)
        return true;
    const char* p = format;
    if (p[0] == '%' && p[1] == 'C')
        p += 2;
    int highest = -1;
    for (; *p; ++p) {
        if (*p != '%')
            continue;
        if (p[1] == 'Q') {
            ++p;
            continue;
        }
        if (p[1] < '0' || p[1] > '9')
            return false;
        int index = p[1] - '0';
        p += 2;
        while (*p && !((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))) // (ASCII)
            ++p;
        int32_t type;
        switch (*p) {
        case 's':
        case 'S':
            type = ZR_MSGARG_TEXT;
            break;
        case 'w':
        case 'W':
            type = ZR_MSGARG_WIDE;
            break;
        case 'd':
            type = ZR_MSGARG_INT;
            break;
        case 'e':
        case 'f':
        case 'g':
            type = ZR_MSGARG_DOUBLE;
            break;
        case 'q':
            type = -1;
            break;
        default:
            return false; // another letter, or none before the end
        }
        if (type == -1)
            continue; // 'q': nothing recorded
        types[index] = type;
        if (index > highest)
            highest = index;
    }
    *count = highest + 1;
    return true;
}
