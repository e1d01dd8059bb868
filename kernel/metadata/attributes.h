// Name and general attributes, reference and element colours and layers:
// each object owns one host record of the extension's element type (and a
// layer its item-id array). The model extension makes them, copies their
// records into its extension record and builds new ones from it.
#pragma once

#include "kernel/kpi_impl.h"
#include "api/qel_records.h"

#include <cstdint>

// Host item-type code stored in a record for a KPIItemType: edge 6, face 5,
// quilt 57, datum curve 62, datum csys 25, datum plane 5 (read back as a
// face), part 2; -1 for any other value.
int QelTypeFromKPIItemType(int itemType);

// Layer status: host codes 1, 2, 3, 5 are KPILayerStatus 0, 1, 2, 3; any
// other code reads as 4. Writing 0 to 3 stores 1, 2, 3, 5; any other value
// stores 0xFFFFFFFF.
int KPILayerStatusFromQelStatus(uint32_t code);
uint32_t QelStatusFromKPILayerStatus(int status);

inline namespace zpi_internal {
// A name attribute: the name given to one item.
class KPINameAttribute_i : public KCommon_i, public virtual KPINameAttribute {
    ZPI_IMPLEMENTS(KPINameAttribute)
public:
    // Checks as the model extension's creation: a type outside 0..6 raises
    // ThrowInvalidArg(2, 1), a null name ThrowInvalidArg(3, 0), a name of 32
    // or more UTF-16 units ThrowInvalidArg(3, 1).
    KPINameAttribute_i(int itemId, KPIItemType itemType, const char* name);
    // Over a copy of a record.
    explicit KPINameAttribute_i(const QelItemNamedata& rec);
    ~KPINameAttribute_i() override;

    xstring GetName() override;
    void SetName(const char* name) override;
    int GetItemId() override;
    KPIItemType GetItemType() override;

    const QelItemNamedata& Record() const { return *rec_; }
    // Copy into a caller's block (0), or a new getmem block (null when
    // memory runs out) that the caller releases with rlsmem.
    int CopyRecordTo(QelItemNamedata& out) const;
    QelItemNamedata* CopyRecord() const;

private:
    QelItemNamedata* rec_ = nullptr;
};

// A general attribute: a named int, double or text value attached to an
// item. Texts are kept to 31 UTF-16 units.
class KPIGeneralAttribute_i : public KCommon_i, public virtual KPIGeneralAttribute {
    ZPI_IMPLEMENTS(KPIGeneralAttribute)
public:
    // Checks as KPINameAttribute_i, then a text value of 32 or more units
    // raises ThrowInvalidArg(4, 1); nothing is made then.
    KPIGeneralAttribute_i(int itemId, KPIItemType itemType, const char* name, const xany& value);
    explicit KPIGeneralAttribute_i(const QelGenAttribdata& rec);
    ~KPIGeneralAttribute_i() override;

    xstring GetName() override;
    void SetName(const char* name) override;
    xany GetValue() override;
    // int, real and text values are stored; a text of 32 or more units
    // raises KXInvalidArg_i::Throw(1, 1) and changes nothing; values of any
    // other kind (null, uninitialised, boolean, object) change nothing.
    void SetValue(xany value) override;
    int GetItemId() override;
    KPIItemType GetItemType() override;

    const QelGenAttribdata& Record() const { return *rec_; }
    int CopyRecordTo(QelGenAttribdata& out) const;
    QelGenAttribdata* CopyRecord() const;

    // Longest text value kept, in UTF-16 units.
    static constexpr int kMaxTextLength = 31;

private:
    // True for a value that is not a text, and for a text that
    // kname::Acceptable takes of at most kMaxTextLength units.
    static bool TextAcceptable(const xany& value);
    void StoreValue(const xany& value);

    QelGenAttribdata* rec_ = nullptr;
};

// A reference colour: twelve doubles and the texture slots, which travel
// whole with every copy of the record.
class KPIReferenceColor_i : public KCommon_i, public virtual KPIReferenceColor {
    ZPI_IMPLEMENTS(KPIReferenceColor)
public:
    // Zeroed record with the colour's three components.
    KPIReferenceColor_i(double r, double g, double b);
    explicit KPIReferenceColor_i(const QelRefColordata& rec);
    ~KPIReferenceColor_i() override;

    xrchandle<KColorRGB> GetColor() override;
    void SetColor(xrchandle<KColorRGB> color) override;
    double GetAmbient() override;
    void SetAmbient(double value) override;
    double GetDiffuse() override;
    void SetDiffuse(double value) override;
    double GetSpecular() override;
    void SetSpecular(double value) override;
    double GetSpecularCoefficient() override;
    void SetSpecularCoefficient(double value) override;
    double GetTransmission() override;
    void SetTransmission(double value) override;
    xrchandle<KColorRGB> GetHighlight() override;
    void SetHighlight(xrchandle<KColorRGB> color) override;
    double GetReflection() override;
    void SetReflection(double value) override;

    const QelRefColordata& Record() const { return *rec_; }
    // Replaces the whole record (texture slots included).
    void SetRecord(const QelRefColordata& rec);
    int CopyRecordTo(QelRefColordata& out) const;
    QelRefColordata* CopyRecord() const;

private:
    QelRefColordata* rec_ = nullptr;
};

// An element colour: which reference colours (by position, 0xFFFFFFFF for
// none) an item uses.
class KPIElementColor_i : public KCommon_i, public virtual KPIElementColor {
    ZPI_IMPLEMENTS(KPIElementColor)
public:
    KPIElementColor_i(int itemId, int refColorIndex1, int refColorIndex2);
    explicit KPIElementColor_i(const QelElemColordata& rec);
    ~KPIElementColor_i() override;

    int GetItemId() override;
    // 0 and the null integer (0x80000000) select the first index, any other
    // value the second.
    int GetReferenceColorIndex(int which) override;

    const QelElemColordata& Record() const { return *rec_; }
    int CopyRecordTo(QelElemColordata& out) const;
    QelElemColordata* CopyRecord() const;

private:
    QelElemColordata* rec_ = nullptr;
};

// A layer: name, id, display status and the ids of its items.
class KPILayer_i : public KCommon_i, public virtual KPILayer {
    ZPI_IMPLEMENTS(KPILayer)
public:
    // A null name raises ThrowInvalidArg(1, 0), a name of 32 or more units
    // ThrowInvalidArg(1, 1). The layer has id -1, status normal and an empty
    // item array.
    explicit KPILayer_i(const char* name);
    // Over a copy of a record, item array included; an item array that does
    // not hold 32-bit ids raises ThrowSimple(-2).
    explicit KPILayer_i(const QelLayerdata& rec);
    ~KPILayer_i() override;

    xstring GetName() override;
    KPILayerStatus GetStatus() override;
    void SetStatus(KPILayerStatus status) override;
    xrchandle<xintsequence> GetPIItemList() override;
    // Replaces the ids; a null sequence raises ThrowInvalidArg(1, 0).
    void SetPIItemList(xrchandle<xintsequence> items) override;
    // A null item raises ThrowInvalidArg(1, 0); an item without an
    // implementation behind it ThrowInvalidArg(1, 1).
    void AddPIItem(xrchandle<KPIItem> item) override;
    void RemovePIItem(xrchandle<KPIItem> item) override;
    int GetLayerId() override;
    void SetLayerId(int id) override;

    const QelLayerdata& Record() const { return *rec_; }
    // The copy owns its own item array: 0, or -10 with `out` untouched.
    int CopyRecordTo(QelLayerdata& out) const;
    // A new getmem block; release it with QelLayerdataFree.
    QelLayerdata* CopyRecord() const;

private:
    int FindItem(uint32_t id) const;

    QelLayerdata* rec_ = nullptr;
};
} // namespace zpi_internal

// Frees the item array of a layer record (the record stays).
void QelLayerdataClear(QelLayerdata* rec);
// Clears and releases a layer record from CopyRecord; accepts null.
void QelLayerdataFree(QelLayerdata* rec);
