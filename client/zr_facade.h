// The host toolkit's C functions for a translator that runs in a process of
// its own: each forwarding function sends its request through the proxy
// that InitializeClient set up (client/zr_client.h), converting the
// toolkit's wide texts (UTF-16) to the requests' 8-bit texts (UTF-8) and
// back; a few functions do their work locally.
//
// Results: what the request gives (0 success, the host's status, -1 for a
// reply whose status is not a number, 100 when the request did not go out),
// 100 also before InitializeClient succeeded, -2 for a null handle or
// record that the function must read, and ZR_STATUS_TEXT_TOO_LONG when a
// text from the host does not fit the caller's buffer (left untouched).
//
// Buffers: names hold QEL_NAME_LEN wide units, paths QEL_PATH_LEN, both
// with the terminator.
//
// Handles of models, solids and classes point to a 4-byte host id. A
// function that makes a handle allocates its id with getmem(4); the caller
// frees it with rlsmem. A model item's owner is such a handle too.
#pragma once

#include "api/zpi50_export.h"
#include "client/zr_toolkit.h"

#include <cstdint>

using QelMdl = int32_t*;
using QelPath = char16_t[QEL_PATH_LEN];

extern "C" {

// ---- forwarding functions -------------------------------------------------------
ZPI_API int QelDirectoryCurrentGet(char16_t* path);
ZPI_API int QelSolidInit(const char16_t* name, int type, QelMdl* solid);
ZPI_API int QelSolidCreate(const char16_t* name, int type, QelMdl* solid);
// Hands interface data over as an import feature of `model`; the feature's
// id goes into feature->id.
ZPI_API int QelImportfeatCreate_zpi(QelMdl model, const int32_t* entity, const qel_intf_data* data,
                                    const qel_intf_data_extend* extension, QelModelitem* feature);
ZPI_API int QelObjCurGet(int type, QelMdl* model);
ZPI_API int QelMdlNameGet(QelMdl model, char16_t* name);
ZPI_API int QelMdlTypeGet(QelMdl model, int* type);
ZPI_API int QelTempPropertyIntGet(const char16_t* name, int* value);
ZPI_API int QelTempPropertyPathGet(const char16_t* name, char16_t* path);
ZPI_API int QelTempPropertyIntSet(const char16_t* name, int value);
ZPI_API int QelTempPropertyPathSet(const char16_t* name, const char16_t* path);
ZPI_API int QelViewReset(QelMdl model);
ZPI_API int QelWindowCurrentGet(int* window);
ZPI_API int QelWindowRepaint(int window);
// Shows the message `key` of `file` with its arguments: pointers to the
// values that the message's format names (%0s or %0S a char text, %0w or
// %0W a char16_t text, %0d an int32_t, %0e, %0f or %0g a double; the digit
// is the argument's index). Only as many arguments are read as the format
// names. -1 when the format cannot be read.
ZPI_API int QelMessageDisplay(const char16_t* file, const char* key, ...);
ZPI_API int QelMessageClear(void);
ZPI_API int QelSolidRegenerate(QelMdl solid, int flags);
ZPI_API int QelExtdataSlotNamesList(const QelExtdataClass* klass, int* count, QelName** names);
ZPI_API int QelExtdataClassNamesList(QelMdl model, int* count, QelName** names);
ZPI_API int QelExtdataClassRegister(QelMdl model, const char16_t* name, QelExtdataClass* klass);
ZPI_API int QelExtdataSlotCreate(const QelExtdataClass* klass, const char16_t* name, QelExtdataSlot* slot);
ZPI_API int QelExtdataSlotWrite(const QelExtdataSlot* slot, int a, int type, int c, const void* value);
ZPI_API int QelExtdataSlotIdsList(const QelExtdataClass* klass, int* count, int32_t** ids);
ZPI_API int QelMdlToModelitem(QelMdl model, QelModelitem* item);
ZPI_API int QelParameterInit(const QelModelitem* owner, const char16_t* name, QelParameter* param);
ZPI_API int QelParamReadonlyCreate(const QelModelitem* owner, const char16_t* name,
                                   const QelParamvalue* value, int flags, QelParameter* param);
ZPI_API int QelParameterValueGet(const QelParameter* param, QelParamvalue* value);
ZPI_API int QelParamReadonlyModify(const QelParameter* param, const QelParamvalue* value, int flags);
ZPI_API int QelGetNumofCsys(QelMdl model, int* count);
ZPI_API int QelGetFirstCsys(QelMdl model, int32_t** csys);
ZPI_API int QelGetDefCsys(QelMdl model, int32_t** csys);
ZPI_API int QelCsysIdGet(const int32_t* csys, int* id);
ZPI_API int QelModelitemInit(int a, int b, int c, QelModelitem* item);
ZPI_API int QelSolidFeatCount(QelMdl solid, int* count);
ZPI_API int QelGetCsysMatrix(QelMdl model, int id, double matrix[4][3]);
ZPI_API int QelModelitemNameGet(const QelModelitem* item, char16_t* name);
ZPI_API int QelGetUserSelectCsys(QelMdl model, int32_t** csys);
ZPI_API int QelMdlNameIsUsed(const char16_t* name, int type, int* used);

// ---- local functions ----------------------------------------------------------
// Text conversions; null for a null output. The output must hold the whole
// converted text: strlen(in) + 1 wide units, or 3 * length + 1 bytes.
ZPI_API char16_t* QelStringToWstring(char16_t* out, const char* in);
ZPI_API char* QelWstringToString(char* out, const char16_t* in);
// The point (with translation) or vector (without) times the 4x4 matrix,
// as a row vector: out[j] = sum over i of in[i] * matrix[i][j] (+ matrix[3][j]
// for a point). 0, or -2 for a null pointer. `in` and `out` may be the same.
ZPI_API int QelPntTrfEval(const double in[3], const double matrix[4][4], double out[3]);
ZPI_API int QelVectorTrfEval(const double in[3], const double matrix[4][4], double out[3]);
// Parameter values. Types: 50 double, 51 wide text (at most QEL_LINE_LEN
// units with its terminator; a longer text is refused with -2), 52 and 54
// int32_t, 53 int16_t, 57 no value.
ZPI_API int QelParamvalueSet(QelParamvalue* value, const void* data, int type);
ZPI_API int QelParamvalueTypeGet(const QelParamvalue* value, int* type);
ZPI_API int QelParamvalueValueGet(const QelParamvalue* value, int type, void* data);
}

// Scans a message format: the types of its arguments (ZR_MSGARG_..., -1 for
// a slot that no argument names) and their number (highest index plus 1).
// False when a '%' is followed by neither 'Q' nor a digit, or the argument's
// letter is not one of s S w W d e f g q.
ZPI_API bool ZrScanMessageFormat(const char* format, int32_t types[ZR_MESSAGE_MAX_ARGS], int* count);
