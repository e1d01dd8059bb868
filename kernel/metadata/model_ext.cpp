#include "kernel/metadata/model_ext.h"

#include "xarholder.h"
#include "xmemory.h"
#include "kernel/metadata/attributes.h"
#include "kernel/metadata/facets.h"
#include "kernel/records/qel_copy.h"
#include "kernel/metadata/record_alloc.h"
#include "kernel/metadata/units.h"
#include "kernel/records/wide_name.h"

#include <cstring>
#include <vector>

namespace {

using krec::kNone;

// ---- reading the stored arrays ------------------------------------------------
// Records handed in (by the XML reader, by a caller) are read only when the
// array holds elements of the expected size; anything else reads as empty.

template <class Rec> int xarLen(const void* arr) {
    if (!arr || har_entry_size(arr) != 0 || xar_elem_size(arr) != int(sizeof(Rec)))
        return 0;
    return xar_count(arr);
}

template <class Rec> int harLen(const void* arr) {
    return arr && har_entry_size(arr) == int(sizeof(Rec)) ? har_total(arr) : 0;
}

template <class Rec> const Rec& harAt(const void* arr, int i) {
    return *static_cast<const Rec*>(har_access(arr, i, nullptr, nullptr));
}

// ---- freeing replaced arrays ----------------------------------------------------

template <class Rec> void clearElement(Rec&) {}
void clearElement(QelLayerdata& layer) { QelLayerdataClear(&layer); }

// Frees an array whatever its form, never reading elements of another size.
void freeAnyArray(void* arr) {
    if (!arr)
        return;
    if (har_entry_size(arr) > 0)
        har_free(&arr);
    else
        xar_free(&arr);
}

// Frees a replaced xar word with what its elements own.
template <class Rec> void freeXar(Rec* arr) {
    int n = xarLen<Rec>(arr);
    for (int i = 0; i < n; ++i)
        clearElement(arr[i]);
    freeAnyArray(arr);
}

// Frees a har of faceted representations with their element arrays.
void freeRepArray(void* arr) {
    if (arr && har_entry_size(arr) > 0)
        qel_facetedrep_array_free(&arr);
    else
        freeAnyArray(arr);
}

// ---- storing lists ----------------------------------------------------------------

using krec::collectImpls;

// A new xar holding a record copy of every element of the list.
template <class Impl, class Rec, class List> Rec* buildXar(const xrchandle<List>& list) {
    std::vector<Impl*> impls = collectImpls<Impl>(list);
    int n = int(impls.size());
    xarholder<Rec> arr(n, n);
    if (!arr.Exists())
        ThrowSimple(QEL_ERR_NO_MEMORY);
    for (int i = 0; i < n; ++i) {
        if (impls[size_t(i)]->CopyRecordTo(arr[i]) != QEL_OK) {
            for (int j = 0; j < i; ++j)
                clearElement(arr[j]);
            ThrowSimple(QEL_ERR_NO_MEMORY);
        }
    }
    return arr.Release();
}

// Stores `fresh` in the word and frees what the word held.
template <class Rec> void replaceXar(Rec*& word, Rec* fresh) {
    Rec* old = word;
    word = fresh;
    freeXar(old);
}

int compareItemIds(const void* a, const void* b) {
    auto x = int32_t(static_cast<const QelElemColordata*>(a)->item_id);
    auto y = int32_t(static_cast<const QelElemColordata*>(b)->item_id);
    return (x > y) - (x < y);
}

} // namespace

// ---- life ------------------------------------------------------------------------

KWPIModelExt_i::KWPIModelExt_i() : KWPIModelExt_i(nullptr) {}

KWPIModelExt_i::KWPIModelExt_i(qel_intf_data_extend* record) : rec_(record) {
    if (!rec_) {
        rec_ = static_cast<qel_intf_data_extend*>(getmem(sizeof(qel_intf_data_extend)));
        if (!rec_)
            ThrowSimple(QEL_ERR_NO_MEMORY);
    }
}

KWPIModelExt_i::~KWPIModelExt_i() { qel_intf_data_extend_block_free(rec_); }

// ---- layers -----------------------------------------------------------------------

xrchandle<KPILayer> KWPIModelExt_i::CreatePILayer(const char* name) {
    return xrchandle<KPILayer>(new KPILayer_i(name));
}

void KWPIModelExt_i::SetPILayers(xrchandle<KPILayerList> layers) {
    replaceXar(rec_->layers, buildXar<KPILayer_i, QelLayerdata>(layers));
}

// The getters below make their objects from copies of the stored records,
// not through the creators: a name or text the records hold (read from a
// document, or given as records) comes back exactly as it is stored, also
// one that the creators would refuse.
xrchandle<KPILayerList> KWPIModelExt_i::GetPILayers() {
    xrchandle<KPILayerList> list(KPILayerList::create());
    int n = xarLen<QelLayerdata>(rec_->layers);
    for (int i = 0; i < n; ++i)
        list->Append(xrchandle<KPILayer>(new KPILayer_i(rec_->layers[i])));
    return list;
}

// ---- units ------------------------------------------------------------------------

xrchandle<KPILengthUnit> KWPIModelExt_i::CreatePILengthUnit(KPILengthUnits unit) {
    return xrchandle<KPILengthUnit>(new KPILengthUnit_i(unit));
}

xrchandle<KPILengthUnit> KWPIModelExt_i::CreatePILengthUnitEx(const char* name, double factor) {
    if (!name)
        ThrowInvalidArg(1, 0);
    if (!kname::Acceptable(name, QEL_NAME_LEN))
        ThrowInvalidArg(1, 1);
    return xrchandle<KPILengthUnit>(new KPILengthUnit_i(name, factor));
}

xrchandle<KPIMassUnit> KWPIModelExt_i::CreatePIMassUnit(KPIMassUnits unit) {
    return xrchandle<KPIMassUnit>(new KPIMassUnit_i(unit));
}

xrchandle<KPIMassUnit> KWPIModelExt_i::CreatePIMassUnitEx(const char* name, double factor) {
    if (!name)
        ThrowInvalidArg(1, 0);
    if (!kname::Acceptable(name, QEL_NAME_LEN))
        ThrowInvalidArg(1, 1);
    return xrchandle<KPIMassUnit>(new KPIMassUnit_i(name, factor));
}

void KWPIModelExt_i::SetPIUnits(xrchandle<KPIUnitList> units) {
    replaceXar(rec_->units, buildXar<KPIUnit_i, QelUnitdata>(units));
}

xrchandle<KPIUnitList> KWPIModelExt_i::GetPIUnits() {
    xrchandle<KPIUnitList> list(KPIUnitList::create());
    int n = xarLen<QelUnitdata>(rec_->units);
    for (int i = 0; i < n; ++i) {
        const QelUnitdata& r = rec_->units[i];
        if (r.type == KPI_LENGTH)
            list->Append(xrchandle<KPIUnit>(new KPILengthUnit_i(r)));
        else
            list->Append(xrchandle<KPIUnit>(new KPIMassUnit_i(r)));
    }
    return list;
}

// ---- colours ----------------------------------------------------------------------

xrchandle<KPIReferenceColor> KWPIModelExt_i::CreatePIReferenceColor(xrchandle<KColorRGB> color) {
    if (!color)
        ThrowInvalidArg(1, 0);
    return xrchandle<KPIReferenceColor>(
        new KPIReferenceColor_i(color->Get(0), color->Get(1), color->Get(2)));
}

void KWPIModelExt_i::SetPIReferenceColors(xrchandle<KPIReferenceColorList> colors) {
    replaceXar(rec_->ref_colors, buildXar<KPIReferenceColor_i, QelRefColordata>(colors));
}

xrchandle<KPIReferenceColorList> KWPIModelExt_i::GetPIReferenceColors() {
    xrchandle<KPIReferenceColorList> list(KPIReferenceColorList::create());
    int n = xarLen<QelRefColordata>(rec_->ref_colors);
    for (int i = 0; i < n; ++i) {
        const QelRefColordata& r = rec_->ref_colors[i];
        xrchandle<KColorRGB> rgb(KColorRGB::create(r.color[0], r.color[1], r.color[2]));
        xrchandle<KPIReferenceColor> color = CreatePIReferenceColor(rgb);
        // The whole stored record, texture slots included, so that storing
        // the colours again loses nothing.
        CastToImpl<KPIReferenceColor_i>(color.get(), 1)->SetRecord(r);
        list->Append(color);
    }
    return list;
}

xrchandle<KPIElementColor> KWPIModelExt_i::CreatePIElementColor(int itemId, int refColorIndex1,
                                                                int refColorIndex2) {
    return xrchandle<KPIElementColor>(
        new KPIElementColor_i(itemId, refColorIndex1, refColorIndex2));
}

void KWPIModelExt_i::SetPIElementColors(xrchandle<KPIElementColorList> colors) {
    replaceXar(rec_->elem_colors, buildXar<KPIElementColor_i, QelElemColordata>(colors));
}

xrchandle<KPIElementColorList> KWPIModelExt_i::GetPIElementColors() {
    xrchandle<KPIElementColorList> list(KPIElementColorList::create());
    int n = xarLen<QelElemColordata>(rec_->elem_colors);
    for (int i = 0; i < n; ++i) {
        const QelElemColordata& r = rec_->elem_colors[i];
        list->Append(CreatePIElementColor(int(r.item_id), int(r.color_index[0]),
                                          int(r.color_index[1])));
    }
    return list;
}

xrchandle<KPIReferenceColor> KWPIModelExt_i::GetPIItemReferenceColor(int itemId) {
    QelElemColordata key{};
    key.item_id = uint32_t(itemId);
    int n = xarLen<QelElemColordata>(rec_->elem_colors);
    uint32_t at = binary_srch_array(n, compareItemIds, int(sizeof(QelElemColordata)), &key,
                                    rec_->elem_colors);
    if (at == kNone)
        return nullptr;
    const QelElemColordata& entry = rec_->elem_colors[at];
    uint32_t index = entry.color_index[0] != kNone ? entry.color_index[0] : entry.color_index[1];
    if (index == kNone || index >= uint32_t(xarLen<QelRefColordata>(rec_->ref_colors)))
        return nullptr;
    return xrchandle<KPIReferenceColor>(new KPIReferenceColor_i(rec_->ref_colors[index]));
}

// ---- attributes -------------------------------------------------------------------

xrchandle<KPINameAttribute> KWPIModelExt_i::CreatePINameAttribute(int itemId, KPIItemType itemType,
                                                                  const char* name) {
    return xrchandle<KPINameAttribute>(new KPINameAttribute_i(itemId, itemType, name));
}

void KWPIModelExt_i::SetPINameAttributes(xrchandle<KPINameAttributeList> attributes) {
    replaceXar(rec_->item_names, buildXar<KPINameAttribute_i, QelItemNamedata>(attributes));
}

xrchandle<KPINameAttributeList> KWPIModelExt_i::GetPINameAttributes() {
    xrchandle<KPINameAttributeList> list(KPINameAttributeList::create());
    int n = xarLen<QelItemNamedata>(rec_->item_names);
    for (int i = 0; i < n; ++i) {
        const QelItemNamedata& r = rec_->item_names[i];
        if (KPIItemTypeFromQelType(int(r.item_type)) == 7) // an item type with no enumerator
            continue;
        list->Append(xrchandle<KPINameAttribute>(new KPINameAttribute_i(r)));
    }
    return list;
}

xrchandle<KPIGeneralAttribute> KWPIModelExt_i::CreatePIGeneralAttribute(int itemId,
                                                                        KPIItemType itemType,
                                                                        const char* name,
                                                                        xany value) {
    return xrchandle<KPIGeneralAttribute>(
        new KPIGeneralAttribute_i(itemId, itemType, name, value));
}

void KWPIModelExt_i::SetPIGeneralAttributes(xrchandle<KPIGeneralAttributeList> attributes) {
    std::vector<KPIGeneralAttribute_i*> impls = collectImpls<KPIGeneralAttribute_i>(attributes);
    void* fresh = har_alloc(int(sizeof(QelGenAttribdata)), 10);
    if (!fresh)
        ThrowSimple(QEL_ERR_NO_MEMORY);
    QelGenAttribdata copy;
    for (KPIGeneralAttribute_i* impl : impls) {
        impl->CopyRecordTo(copy);
        if (har_append(&fresh, &copy) != QEL_OK) {
            har_free(&fresh);
            ThrowSimple(QEL_ERR_NO_MEMORY);
        }
    }
    void* old = rec_->attributes;
    rec_->attributes = fresh;
    freeAnyArray(old);
}

xrchandle<KPIGeneralAttributeList> KWPIModelExt_i::GetPIGeneralAttributes() {
    xrchandle<KPIGeneralAttributeList> list(KPIGeneralAttributeList::create());
    int n = harLen<QelGenAttribdata>(rec_->attributes);
    for (int i = 0; i < n; ++i) {
        // Whole, also what an xany cannot carry: a host text longer than the
        // setters take, the numbers that read as the null or uninitialised
        // sentinels, a value kind without an xany kind.
        const QelGenAttribdata& r = harAt<QelGenAttribdata>(rec_->attributes, i);
        if (KPIItemTypeFromQelType(int(r.item_type)) == 7)
            continue;
        list->Append(xrchandle<KPIGeneralAttribute>(new KPIGeneralAttribute_i(r)));
    }
    return list;
}

// ---- faceted representations ------------------------------------------------------------

xrchandle<KPIFacetedRep> KWPIModelExt_i::CreatePIFacetedRep(int id) {
    return xrchandle<KPIFacetedRep>(new KPIFacetedRep_i(id));
}

void KWPIModelExt_i::SetPIFacetedReps(xrchandle<KPIFacetedRepList> reps) {
    if (!reps)
        ThrowInvalidArg(1, 0);
    if (reps->Count() < 1)
        ThrowInvalidArg(1, 1);
    std::vector<KPIFacetedRep_i*> impls = collectImpls<KPIFacetedRep_i>(reps);
    int n = int(impls.size());
    void* fresh = har_alloc(int(sizeof(QelFacetedRepdata)), 10);
    if (!fresh || har_resize(&fresh, n) != QEL_OK) {
        freeAnyArray(fresh);
        ThrowSimple(QEL_ERR_NO_MEMORY);
    }
    for (int i = 0; i < n; ++i) {
        auto* entry = static_cast<QelFacetedRepdata*>(har_access(fresh, i, nullptr, nullptr));
        int st = impls[size_t(i)]->CopyRecordTo(*entry);
        if (st != QEL_OK) {
            freeRepArray(fresh);
            ThrowSimple(st);
        }
    }
    void* old = rec_->faceted_reps;
    rec_->faceted_reps = fresh;
    freeRepArray(old);
}

xrchandle<KPIFacetedRepList> KWPIModelExt_i::GetPIFacetedReps() {
    int n = harLen<QelFacetedRepdata>(rec_->faceted_reps);
    if (n <= 0)
        return nullptr;
    xrchandle<KPIFacetedRepList> list(KPIFacetedRepList::create());
    for (int i = 0; i < n; ++i) {
        const QelFacetedRepdata& r = harAt<QelFacetedRepdata>(rec_->faceted_reps, i);
        xrchandle<KPIFacetedRep> rep = CreatePIFacetedRep(r.id);
        CastToImpl<KPIFacetedRep_i>(rep.get(), 1)->AssignRecord(r);
        list->Set(i, rep);
    }
    return list;
}
