#include "kernel/metadata/attributes.h"

#include "xmemory.h"
#include "kernel/metadata/record_alloc.h"
#include "kernel/records/wide_name.h"

#include <climits>
#include <cstring>

namespace {

using krec::kNone;
using krec::newRecord;
using krec::newRecordCopy;
using krec::plainCopy;

// The checks shared by the creation of name and general attributes. A name
// is refused when it does not fit its field, is not UTF-8 or holds a
// character that a document cannot carry (kname::Acceptable).
void checkItemAndName(KPIItemType itemType, const char* name) {
    if (int(itemType) < KPI_EDGE || int(itemType) > KPI_PART)
        ThrowInvalidArg(2, 1);
    if (!name)
        ThrowInvalidArg(3, 0);
    if (!kname::Acceptable(name, QEL_NAME_LEN))
        ThrowInvalidArg(3, 1);
}

// SetName of both attribute kinds.
void setName(char16_t* field, const char* name) {
    if (!name)
        ThrowInvalidArg(1, 0);
    if (!kname::Acceptable(name, QEL_NAME_LEN))
        KXInvalidArg_i::Throw(1, 1);
    kname::Write(field, QEL_NAME_LEN, name);
}

// A layer record copy that owns its own item array: 0, -2 when the item
// array does not hold 32-bit ids, or -10; `out` is untouched on failure.
int copyLayer(const QelLayerdata& src, QelLayerdata& out) {
    if (src.item_ids &&
        (har_entry_size(src.item_ids) != 0 || xar_elem_size(src.item_ids) != int(sizeof(uint32_t))))
        return QEL_ERR_BAD_ARG;
    uint32_t* ids = nullptr;
    if (src.item_ids && xar_cpy(ids, src.item_ids) != QEL_OK)
        return QEL_ERR_NO_MEMORY;
    std::memcpy(&out, &src, sizeof(out));
    out.item_ids = ids;
    return QEL_OK;
}

void readColor(const xrchandle<KColorRGB>& color, double* out) {
    if (!color)
        ThrowInvalidArg(1, 0);
    for (int i = 0; i < 3; ++i)
        out[i] = color->Get(i);
}

} // namespace

int QelTypeFromKPIItemType(int itemType) {
    switch (itemType) {
    case KPI_EDGE:
        return 6;
    case KPI_FACE:
        return 5;
    case KPI_QUILT:
        return 57;
    case KPI_DATUM_CURVE:
        return 62;
    case KPI_DATUM_CSYS:
        return 25;
    case KPI_DATUM_PLANE:
        return 5;
    case KPI_PART:
        return 2;
    default:
        return -1;
    }
}

int KPILayerStatusFromQelStatus(uint32_t code) {
    switch (code) {
    case 1:
        return KPILAYER_STATUS_NORMAL;
    case 2:
        return KPILAYER_STATUS_DISPLAY;
    case 3:
        return KPILAYER_STATUS_BLANKED;
    case 5:
        return 3;
    default:
        return 4;
    }
}

uint32_t QelStatusFromKPILayerStatus(int status) {
    switch (status) {
    case KPILAYER_STATUS_NORMAL:
        return 1;
    case KPILAYER_STATUS_DISPLAY:
        return 2;
    case KPILAYER_STATUS_BLANKED:
        return 3;
    case 3:
        return 5;
    default:
        return kNone;
    }
}

// ---- name attribute -------------------------------------------------------

KPINameAttribute_i::KPINameAttribute_i(int itemId, KPIItemType itemType, const char* name) {
    checkItemAndName(itemType, name);
    rec_ = newRecord<QelItemNamedata>();
    kname::Write(rec_->name, QEL_NAME_LEN, name);
    rec_->item_id = uint32_t(itemId);
    rec_->item_type = uint32_t(QelTypeFromKPIItemType(itemType));
}

KPINameAttribute_i::KPINameAttribute_i(const QelItemNamedata& rec)
    : rec_(newRecordCopy(rec)) {}

KPINameAttribute_i::~KPINameAttribute_i() { rlsmem(rec_); }

xstring KPINameAttribute_i::GetName() { return kname::ToXstring(rec_->name, QEL_NAME_LEN); }
void KPINameAttribute_i::SetName(const char* name) { setName(rec_->name, name); }
int KPINameAttribute_i::GetItemId() { return int(rec_->item_id); }
KPIItemType KPINameAttribute_i::GetItemType() {
    return KPIItemType(KPIItemTypeFromQelType(int(rec_->item_type)));
}

int KPINameAttribute_i::CopyRecordTo(QelItemNamedata& out) const {
    std::memcpy(&out, rec_, sizeof(out));
    return QEL_OK;
}
QelItemNamedata* KPINameAttribute_i::CopyRecord() const { return plainCopy(rec_); }

// ---- general attribute ----------------------------------------------------

KPIGeneralAttribute_i::KPIGeneralAttribute_i(int itemId, KPIItemType itemType, const char* name,
                                             const xany& value) {
    checkItemAndName(itemType, name);
    if (!TextAcceptable(value))
        ThrowInvalidArg(4, 1);
    rec_ = newRecord<QelGenAttribdata>();
    rec_->item_id = uint32_t(itemId);
    rec_->item_type = uint32_t(QelTypeFromKPIItemType(itemType));
    kname::Write(rec_->name, QEL_NAME_LEN, name);
    StoreValue(value);
}

KPIGeneralAttribute_i::KPIGeneralAttribute_i(const QelGenAttribdata& rec)
    : rec_(newRecordCopy(rec)) {}

KPIGeneralAttribute_i::~KPIGeneralAttribute_i() { rlsmem(rec_); }

bool KPIGeneralAttribute_i::TextAcceptable(const xany& value) {
    if (value.kind() != xany::kString)
        return true;
    xstring text = value;
    // The whole text: a zero byte inside it would cut what is stored.
    return kname::Acceptable(std::string_view(text.c_str(), text.length()), kMaxTextLength + 1);
}

void KPIGeneralAttribute_i::StoreValue(const xany& value) {
    switch (value.kind()) {
    case xany::kInt:
        rec_->value_kind = 1;
        rec_->int_value = int(value);
        break;
    case xany::kReal:
        rec_->value_kind = 2;
        rec_->double_value = double(value);
        break;
    case xany::kString: {
        xstring text = value;
        rec_->value_kind = 3;
        kname::Write(rec_->text, QEL_ATTRIB_TEXT_LEN, text.c_str());
        break;
    }
    default:
        // Null, uninitialised, boolean, the second integral kind and objects
        // are not kept: the earlier value stays.
        break;
    }
}

xstring KPIGeneralAttribute_i::GetName() { return kname::ToXstring(rec_->name, QEL_NAME_LEN); }
void KPIGeneralAttribute_i::SetName(const char* name) { setName(rec_->name, name); }

xany KPIGeneralAttribute_i::GetValue() {
    switch (rec_->value_kind) {
    case 1:
        return xany(int(rec_->int_value));
    case 2:
        return xany(rec_->double_value);
    case 3:
        return xany(kname::ToXstring(rec_->text, QEL_ATTRIB_TEXT_LEN));
    default:
        return xany::ofKind(xany::kNull);
    }
}

void KPIGeneralAttribute_i::SetValue(xany value) {
    if (!TextAcceptable(value))
        KXInvalidArg_i::Throw(1, 1);
    StoreValue(value);
}

int KPIGeneralAttribute_i::GetItemId() { return int(rec_->item_id); }
KPIItemType KPIGeneralAttribute_i::GetItemType() {
    return KPIItemType(KPIItemTypeFromQelType(int(rec_->item_type)));
}

int KPIGeneralAttribute_i::CopyRecordTo(QelGenAttribdata& out) const {
    std::memcpy(&out, rec_, sizeof(out));
    return QEL_OK;
}
QelGenAttribdata* KPIGeneralAttribute_i::CopyRecord() const { return plainCopy(rec_); }

// ---- reference colour -----------------------------------------------------

KPIReferenceColor_i::KPIReferenceColor_i(double r, double g, double b)
    : rec_(newRecord<QelRefColordata>()) {
    rec_->color[0] = r;
    rec_->color[1] = g;
    rec_->color[2] = b;
}

KPIReferenceColor_i::KPIReferenceColor_i(const QelRefColordata& rec)
    : rec_(newRecordCopy(rec)) {}

KPIReferenceColor_i::~KPIReferenceColor_i() { rlsmem(rec_); }

xrchandle<KColorRGB> KPIReferenceColor_i::GetColor() {
    return KCreateColorRGB(rec_->color[0], rec_->color[1], rec_->color[2]);
}
void KPIReferenceColor_i::SetColor(xrchandle<KColorRGB> color) {
    double c[3];
    readColor(color, c);
    std::memcpy(rec_->color, c, sizeof(c));
}
double KPIReferenceColor_i::GetAmbient() { return rec_->ambient; }
void KPIReferenceColor_i::SetAmbient(double value) { rec_->ambient = value; }
double KPIReferenceColor_i::GetDiffuse() { return rec_->diffuse; }
void KPIReferenceColor_i::SetDiffuse(double value) { rec_->diffuse = value; }
double KPIReferenceColor_i::GetSpecular() { return rec_->specular; }
void KPIReferenceColor_i::SetSpecular(double value) { rec_->specular = value; }
double KPIReferenceColor_i::GetSpecularCoefficient() { return rec_->specular_coef; }
void KPIReferenceColor_i::SetSpecularCoefficient(double value) { rec_->specular_coef = value; }
double KPIReferenceColor_i::GetTransmission() { return rec_->transmission; }
void KPIReferenceColor_i::SetTransmission(double value) { rec_->transmission = value; }
xrchandle<KColorRGB> KPIReferenceColor_i::GetHighlight() {
    return KCreateColorRGB(rec_->highlight[0], rec_->highlight[1], rec_->highlight[2]);
}
void KPIReferenceColor_i::SetHighlight(xrchandle<KColorRGB> color) {
    double c[3];
    readColor(color, c);
    std::memcpy(rec_->highlight, c, sizeof(c));
}
double KPIReferenceColor_i::GetReflection() { return rec_->reflection; }
void KPIReferenceColor_i::SetReflection(double value) { rec_->reflection = value; }

void KPIReferenceColor_i::SetRecord(const QelRefColordata& rec) {
    if (&rec != rec_)
        std::memcpy(rec_, &rec, sizeof(rec));
}
int KPIReferenceColor_i::CopyRecordTo(QelRefColordata& out) const {
    std::memcpy(&out, rec_, sizeof(out));
    return QEL_OK;
}
QelRefColordata* KPIReferenceColor_i::CopyRecord() const { return plainCopy(rec_); }

// ---- element colour -------------------------------------------------------

KPIElementColor_i::KPIElementColor_i(int itemId, int refColorIndex1, int refColorIndex2)
    : rec_(newRecord<QelElemColordata>()) {
    rec_->item_id = uint32_t(itemId);
    rec_->color_index[0] = uint32_t(refColorIndex1);
    rec_->color_index[1] = uint32_t(refColorIndex2);
}

KPIElementColor_i::KPIElementColor_i(const QelElemColordata& rec)
    : rec_(newRecordCopy(rec)) {}

KPIElementColor_i::~KPIElementColor_i() { rlsmem(rec_); }

int KPIElementColor_i::GetItemId() { return int(rec_->item_id); }
int KPIElementColor_i::GetReferenceColorIndex(int which) {
    return int(rec_->color_index[which == 0 || which == INT_MIN ? 0 : 1]);
}

int KPIElementColor_i::CopyRecordTo(QelElemColordata& out) const {
    out.item_id = rec_->item_id;
    out.color_index[0] = rec_->color_index[0];
    out.color_index[1] = rec_->color_index[1];
    return QEL_OK;
}
QelElemColordata* KPIElementColor_i::CopyRecord() const { return plainCopy(rec_); }

// ---- layer ------------------------------------------------------------------

void QelLayerdataClear(QelLayerdata* rec) {
    if (rec && rec->item_ids)
        xar_free(rec->item_ids);
}

void QelLayerdataFree(QelLayerdata* rec) {
    if (!rec)
        return;
    QelLayerdataClear(rec);
    rlsmem(rec);
}

KPILayer_i::KPILayer_i(const char* name) {
    if (!name)
        ThrowInvalidArg(1, 0);
    if (!kname::Acceptable(name, QEL_NAME_LEN))
        ThrowInvalidArg(1, 1);
    rec_ = newRecord<QelLayerdata>();
    rec_->item_ids = static_cast<uint32_t*>(xar_alloc(0, sizeof(uint32_t), 10));
    if (!rec_->item_ids) {
        rlsmem(rec_);
        rec_ = nullptr;
        ThrowSimple(QEL_ERR_NO_MEMORY);
    }
    kname::Write(rec_->name, QEL_NAME_LEN, name);
    rec_->layer_id = kNone;
    rec_->status = 1;
}

KPILayer_i::KPILayer_i(const QelLayerdata& rec) {
    rec_ = newRecord<QelLayerdata>();
    int st = copyLayer(rec, *rec_);
    if (st != QEL_OK) {
        rlsmem(rec_);
        rec_ = nullptr;
        ThrowSimple(st);
    }
}

KPILayer_i::~KPILayer_i() { QelLayerdataFree(rec_); }

xstring KPILayer_i::GetName() { return kname::ToXstring(rec_->name, QEL_NAME_LEN); }

KPILayerStatus KPILayer_i::GetStatus() {
    return KPILayerStatus(KPILayerStatusFromQelStatus(rec_->status));
}
void KPILayer_i::SetStatus(KPILayerStatus status) {
    rec_->status = QelStatusFromKPILayerStatus(status);
}

xrchandle<xintsequence> KPILayer_i::GetPIItemList() {
    xrchandle<xintsequence> seq(xintsequence::create());
    int n = xar_count(rec_->item_ids);
    for (int i = 0; i < n; ++i)
        seq->Append(int32_t(rec_->item_ids[i]));
    return seq;
}

void KPILayer_i::SetPIItemList(xrchandle<xintsequence> items) {
    if (!items)
        ThrowInvalidArg(1, 0);
    int n = items->Count();
    auto* ids = static_cast<uint32_t*>(xar_alloc(n, sizeof(uint32_t), 10));
    if (!ids)
        ThrowSimple(QEL_ERR_NO_MEMORY);
    if (n > 0)
        std::memcpy(ids, items->Data(), sizeof(uint32_t) * size_t(n));
    uint32_t* old = rec_->item_ids;
    rec_->item_ids = ids;
    if (old)
        xar_free(old);
}

int KPILayer_i::FindItem(uint32_t id) const {
    int n = xar_count(rec_->item_ids);
    for (int i = 0; i < n; ++i)
        if (rec_->item_ids[i] == id)
            return i;
    return -1;
}

void KPILayer_i::AddPIItem(xrchandle<KPIItem> item) {
    if (!item)
        ThrowInvalidArg(1, 0);
    uint32_t id = uint32_t(CastToImpl<KPIItem>(item.get(), 1)->GetId());
    if (FindItem(id) >= 0)
        return;
    if (xar_alloc_or_append(rec_->item_ids, int(sizeof(uint32_t)), 10, 1, &id) != QEL_OK)
        ThrowSimple(QEL_ERR_NO_MEMORY);
}

void KPILayer_i::RemovePIItem(xrchandle<KPIItem> item) {
    if (!item)
        ThrowInvalidArg(1, 0);
    uint32_t id = uint32_t(CastToImpl<KPIItem>(item.get(), 1)->GetId());
    int at = FindItem(id);
    if (at >= 0)
        xar_remove(rec_->item_ids, at, 1);
}

int KPILayer_i::GetLayerId() { return int(rec_->layer_id); }
void KPILayer_i::SetLayerId(int id) { rec_->layer_id = uint32_t(id); }

int KPILayer_i::CopyRecordTo(QelLayerdata& out) const { return copyLayer(*rec_, out); }

QelLayerdata* KPILayer_i::CopyRecord() const {
    auto* copy = static_cast<QelLayerdata*>(getmem(sizeof(QelLayerdata)));
    if (copy && CopyRecordTo(*copy) != QEL_OK) {
        rlsmem(copy);
        return nullptr;
    }
    return copy;
}
