#include "client/zr_facade.h"

#include "client/zr_client.h"
#include "client/zr_proxy.h"

#include "btkstring.h"
#include "xmemory.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kNotSent = ZPI_REQUEST_NOT_SENT;
constexpr int kBadArg = ZPI_REQUEST_BAD_ARG;

std::string Narrow(const char16_t* text) { return btkStrUtf16ToUtf8(text); }

// An 8-bit buffer that holds any text of `units` wide units.
std::vector<char> NarrowBuffer(int units) { return std::vector<char>(static_cast<size_t>(units) * 3 + 1, 0); }

// UTF-8 text into the caller's wide buffer of `capacity` units, whole or
// not at all.
int CopyOut(const char* text, char16_t* out, int capacity) {
    std::u16string wide = btkStrUtf8ToUtf16(text);
    if (wide.size() + 1 > static_cast<size_t>(capacity))
        return ZR_STATUS_TEXT_TOO_LONG;
    std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return 0;
}

// A text-returning request through a local buffer of `units` wide units.
template <class Call> int TextOut(char16_t* out, int units, Call call) {
    if (!out)
        return kBadArg;
    std::vector<char> buffer = NarrowBuffer(units);
    int status = call(buffer.data(), buffer.size());
    if (status != 0)
        return status;
    return CopyOut(buffer.data(), out, units);
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

// Runs `call` on the facade proxy: 100 before InitializeClient succeeded.
template <class Call> int Forward(Call call) {
    xrchandle<ZorvanProxy> hold = ZrGetFacadeProxy();
    ZorvanProxy* proxy = hold.get();
    return proxy ? call(*proxy) : kNotSent;
}

// The same for a call on a model handle: -2 for a null handle.
template <class Call> int ForwardModel(QelMdl model, Call call) {
    return Forward([&](ZorvanProxy& proxy) { return model ? call(proxy, *model) : kBadArg; });
}

} // namespace

extern "C" {

int QelDirectoryCurrentGet(char16_t* path) {
    return Forward([&](ZorvanProxy& proxy) {
        return TextOut(path, QEL_PATH_LEN,
                       [&](char* buffer, size_t size) { return proxy.QelDirectoryCurrentGet(buffer, size); });
    });
}

int QelSolidInit(const char16_t* name, int type, QelMdl* solid) {
    return Forward([&](ZorvanProxy& proxy) {
        std::string n = Narrow(name);
        return NewHandle(solid, [&](int32_t* id) { return proxy.InitSolid(n.c_str(), type, id); });
    });
}

int QelSolidCreate(const char16_t* name, int type, QelMdl* solid) {
    return Forward([&](ZorvanProxy& proxy) {
        std::string n = Narrow(name);
        return NewHandle(solid, [&](int32_t* id) { return proxy.CreateModel(n.c_str(), type, id); });
    });
}

int QelImportfeatCreate_zpi(QelMdl model, const int32_t* entity, const qel_intf_data* data,
                            const qel_intf_data_extend* extension, QelModelitem* feature) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int id) {
        return proxy.ImportQelIntfDataToFeature(id, entity, data, extension, feature ? &feature->id : nullptr);
    });
}

int QelObjCurGet(int type, QelMdl* model) {
    return Forward([&](ZorvanProxy& proxy) {
        return NewHandle(model, [&](int32_t* id) { return proxy.GetCurrentModel(type, id); });
    });
}

int QelMdlNameGet(QelMdl model, char16_t* name) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int id) {
        return TextOut(name, QEL_NAME_LEN,
                       [&](char* buffer, size_t size) { return proxy.QelMdlNameGet(id, buffer, size); });
    });
}

int QelMdlTypeGet(QelMdl model, int* type) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int id) { return proxy.QelMdlTypeGet(id, type); });
}

int QelTempPropertyIntGet(const char16_t* name, int* value) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelTempPropertyIntGet(Narrow(name).c_str(), value); });
}

int QelTempPropertyPathGet(const char16_t* name, char16_t* path) {
    return Forward([&](ZorvanProxy& proxy) {
        std::string n = Narrow(name);
        return TextOut(path, QEL_PATH_LEN, [&](char* buffer, size_t size) {
            return proxy.QelTempPropertyPathGet(n.c_str(), buffer, size);
        });
    });
}

int QelTempPropertyIntSet(const char16_t* name, int value) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelTempPropertyIntSet(Narrow(name).c_str(), value); });
}

int QelTempPropertyPathSet(const char16_t* name, const char16_t* path) {
    return Forward([&](ZorvanProxy& proxy) {
        return proxy.QelTempPropertyPathSet(Narrow(name).c_str(), Narrow(path).c_str());
    });
}

int QelViewReset(QelMdl model) {
    return ForwardModel(model, [](ZorvanProxy& proxy, int id) { return proxy.QelViewReset(id); });
}

int QelWindowCurrentGet(int* window) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelWindowCurrentGet(window); });
}

int QelWindowRepaint(int window) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelWindowRepaint(window); });
}

int QelMessageDisplay(const char16_t* file, const char* key, ...) {
    xrchandle<ZorvanProxy> hold = ZrGetFacadeProxy();
    ZorvanProxy* proxy = hold.get();
    if (!proxy)
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
    return proxy->QelMessageShow(Narrow(file).c_str(), key, count, args);
}

int QelMessageClear(void) {
    return Forward([](ZorvanProxy& proxy) { return proxy.QelMessageClear(); });
}

int QelSolidRegenerate(QelMdl solid, int flags) {
    return ForwardModel(solid, [&](ZorvanProxy& proxy, int id) { return proxy.QelSolidRegenerate(id, flags); });
}

int QelExtdataSlotNamesList(const QelExtdataClass* klass, int* count, QelName** names) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelExtdataSlotNamesList(klass, count, names); });
}

int QelExtdataClassNamesList(QelMdl model, int* count, QelName** names) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int id) {
        return proxy.QelExtdataClassNamesList(id, count, names);
    });
}

int QelExtdataClassRegister(QelMdl model, const char16_t* name, QelExtdataClass* klass) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int id) {
        if (!klass)
            return kBadArg;
        // The class's model handle is a new id block, kept only when the
        // request fills it.
        return WithNewBlock(klass->model,
                            [&] { return proxy.QelExtdataClassRegister(id, Narrow(name).c_str(), klass); });
    });
}

int QelExtdataSlotCreate(const QelExtdataClass* klass, const char16_t* name, QelExtdataSlot* slot) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelExtdataSlotCreate(klass, Narrow(name).c_str(), slot); });
}

int QelExtdataSlotWrite(const QelExtdataSlot* slot, int a, int type, int c, const void* value) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelExtdataSlotWrite(slot, a, type, c, value); });
}

int QelExtdataSlotIdsList(const QelExtdataClass* klass, int* count, int32_t** ids) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelExtdataSlotIdsList(klass, count, ids); });
}

int QelMdlToModelitem(QelMdl model, QelModelitem* item) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int id) {
        return ItemWithNewOwner(item, [&](QelModelitem* it) { return proxy.QelMdlToModelitem(id, it); });
    });
}

int QelParameterInit(const QelModelitem* owner, const char16_t* name, QelParameter* param) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelParameterInit(owner, Narrow(name).c_str(), param); });
}

int QelParamReadonlyCreate(const QelModelitem* owner, const char16_t* name, const QelParamvalue* value,
                           int flags, QelParameter* param) {
    return Forward([&](ZorvanProxy& proxy) {
        return proxy.QelParamReadonlyCreate(owner, Narrow(name).c_str(), value, flags, param);
    });
}

int QelParameterValueGet(const QelParameter* param, QelParamvalue* value) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelParameterValueGet(param, value); });
}

int QelParamReadonlyModify(const QelParameter* param, const QelParamvalue* value, int flags) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelParamReadonlyModify(param, value, flags); });
}

int QelGetNumofCsys(QelMdl model, int* count) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int id) { return proxy.QelGetNumofCsys(id, count); });
}

int QelGetFirstCsys(QelMdl model, int32_t** csys) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int id) { return proxy.QelGetFirstCsys(id, csys); });
}

int QelGetDefCsys(QelMdl model, int32_t** csys) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int id) { return proxy.QelGetDefCsys(id, csys); });
}

int QelCsysIdGet(const int32_t* csys, int* id) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelCsysIdGet(csys, id); });
}

int QelModelitemInit(int a, int b, int c, QelModelitem* item) {
    return Forward([&](ZorvanProxy& proxy) {
        return ItemWithNewOwner(item, [&](QelModelitem* it) { return proxy.QelModelitemInit(a, b, c, it); });
    });
}

int QelSolidFeatCount(QelMdl solid, int* count) {
    return ForwardModel(solid, [&](ZorvanProxy& proxy, int id) { return proxy.QelSolidFeatCount(id, count); });
}

int QelGetCsysMatrix(QelMdl model, int id, double matrix[4][3]) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int mdl) { return proxy.QelGetCsysMatrix(mdl, id, matrix); });
}

int QelModelitemNameGet(const QelModelitem* item, char16_t* name) {
    return Forward([&](ZorvanProxy& proxy) {
        if (!item)
            return kBadArg;
        return TextOut(name, QEL_NAME_LEN,
                       [&](char* buffer, size_t size) { return proxy.QelModelitemNameGet(item, buffer, size); });
    });
}

int QelGetUserSelectCsys(QelMdl model, int32_t** csys) {
    return ForwardModel(model, [&](ZorvanProxy& proxy, int id) { return proxy.QelGetUserSelectCsys(id, csys); });
}

int QelMdlNameIsUsed(const char16_t* name, int type, int* used) {
    return Forward([&](ZorvanProxy& proxy) { return proxy.QelMdlNameIsUsed(Narrow(name).c_str(), type, used); });
}

// ---- local -------------------------------------------------------------------------

char16_t* QelStringToWstring(char16_t* out, const char* in) {
    if (!out)
        return nullptr;
    size_t n = in ? std::strlen(in) : 0;
    strtows(in, out, static_cast<int>(std::min<size_t>(n + 1, 0x7FFFFFFF)));
    return out;
}

char* QelWstringToString(char* out, const char16_t* in) {
    if (!out)
        return nullptr;
    size_t n = static_cast<size_t>(wslen(in));
    wstostr(in, out, static_cast<int>(std::min<size_t>(3 * n + 1, 0x7FFFFFFF)));
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
