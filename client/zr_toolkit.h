// Plain records of the host toolkit's C interface that travel in requests:
// model items, parameters and their values, external-data classes and
// slots, and the conversion options of a part. Only the members named here
// pass; everything else about them is the host's.
//
// Handles of models, solids and classes are pointers to a 4-byte host id
// (allocated with getmem by whoever makes the handle).
#pragma once

#include "kernel/records/qel_records.h"

#include <cstddef>
#include <cstdint>

// Status of a request whose reply text does not fit the caller's buffer;
// the buffer is left untouched.
constexpr int ZR_STATUS_TEXT_TOO_LONG = ZPI_REQUEST_TEXT_TOO_LONG;

// Wide buffer sizes of the toolkit's texts, terminator included.
constexpr int QEL_LINE_LEN = 80;

// Type of a parameter value.
constexpr int32_t QEL_PARAM_DOUBLE = 50;
constexpr int32_t QEL_PARAM_STRING = 51;
constexpr int32_t QEL_PARAM_INTEGER = 52;
constexpr int32_t QEL_PARAM_BOOLEAN = 53;
constexpr int32_t QEL_PARAM_NOTE_ID = 54;
constexpr int32_t QEL_PARAM_VOID = 57;

// Model item: type, id, and the owning model's handle (pointer to its id,
// or null).
struct QelModelitem {
    int32_t type;
    int32_t id;
    int32_t* owner;
};

// Owner of a parameter: kind 0 a model (its handle), kind 1 a model item.
struct QelParamOwner {
    int32_t kind;
    union {
        int32_t* model;
        QelModelitem item;
    } who;
};

struct QelParameter {
    int32_t type;
    char16_t name[QEL_NAME_LEN];
    QelParamOwner owner;
};

struct QelParamvalue {
    int32_t type; // QEL_PARAM_...
    union {
        double d_val;
        char16_t s_val[QEL_LINE_LEN];
        int32_t i_val;
        int16_t l_val;
    } value;
};

// External data: a class of a model, and a slot of a class.
struct QelExtdataClass {
    int32_t* model; // the model's handle
    char16_t name[QEL_NAME_LEN];
};

struct QelExtdataSlot {
    QelExtdataClass* klass;
    char16_t name[QEL_NAME_LEN];
    int32_t id;
};

// Options of a part conversion (request 153): bits 0 to 2 of the first word
// are flags; the next two words are passed as they are.
struct qel_part_conversion_options {
    uint32_t flags;
    int32_t second;
    int32_t third;
};

// Extended options of a model conversion: the four integers and two doubles
// after the first member pass.
struct qel_model_conversion_options_ext {
    int64_t first;
    int32_t values[4];
    double reals[2];
};

// A name as the toolkit's name lists hold it (64 bytes).
using QelName = char16_t[QEL_NAME_LEN];

// One argument of a displayed message: its type and a pointer to its value.
constexpr int32_t ZR_MSGARG_INT = 1;    // int32_t
constexpr int32_t ZR_MSGARG_DOUBLE = 2; // double
constexpr int32_t ZR_MSGARG_WIDE = 3;   // char16_t text
constexpr int32_t ZR_MSGARG_TEXT = 4;   // char text
constexpr int ZR_MESSAGE_MAX_ARGS = 10;
struct ZrMessageArg {
    int32_t type; // ZR_MSGARG_..., -1 for an unused slot
    const void* value;
};

// One layer of an import's layer status (xml/side_documents/xml_layerstatus.h).
struct atb_import_layer;

// Display code of a new layer (request 188), passed as an integer.
using QelLayerDisplay = int32_t;

static_assert(sizeof(QelModelitem) == 16);
static_assert(offsetof(QelParameter, owner) == 72);
static_assert(sizeof(QelParameter) == 96);
static_assert(offsetof(QelParamvalue, value) == 8);
static_assert(sizeof(QelExtdataClass) == 72);
static_assert(sizeof(QelExtdataSlot) == 80);
