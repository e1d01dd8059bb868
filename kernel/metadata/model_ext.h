// kernel/metadata: units, attributes, colours, layers, faceted
// representations, and the model extension that keeps them (this header).
// It uses records/.
//
// The metadata half of a model: units, layers, reference and element
// colours, name and general attributes and faceted representations, all
// kept in one host extension record that this object owns.
//
// Setters copy the records of every object of a list into a new array that
// replaces the stored one (the objects stay independent); getters make new
// objects from the stored records each time. A refused call (null list,
// null or foreign element) changes nothing.
#pragma once

#include "kernel/kpi_impl.h"
#include "api/qel_records.h"

inline namespace zpi_internal {
class KWPIModelExt_i : public KCommon_i, public virtual KWPIModelExt {
    ZPI_IMPLEMENTS(KWPIModelExt)
public:
    // Over a new, zero-filled extension record (every array absent).
    KWPIModelExt_i();
    // Takes over a record made with getmem (by the XML reader or a deep
    // copy); null gives a new empty record.
    explicit KWPIModelExt_i(qel_intf_data_extend* record);
    // Frees every array of the record (impfeat_ext_free), then the record.
    ~KWPIModelExt_i() override;

    // The extension record, still owned by this object.
    qel_intf_data_extend* GetExtendData() const { return rec_; }

    xrchandle<KPILayer> CreatePILayer(const char* name) override;
    void SetPILayers(xrchandle<KPILayerList> layers) override;
    xrchandle<KPILayerList> GetPILayers() override;
    xrchandle<KPILengthUnit> CreatePILengthUnit(KPILengthUnits unit) override;
    xrchandle<KPILengthUnit> CreatePILengthUnitEx(const char* name, double factor) override;
    xrchandle<KPIMassUnit> CreatePIMassUnit(KPIMassUnits unit) override;
    xrchandle<KPIMassUnit> CreatePIMassUnitEx(const char* name, double factor) override;
    void SetPIUnits(xrchandle<KPIUnitList> units) override;
    xrchandle<KPIUnitList> GetPIUnits() override;
    xrchandle<KPIReferenceColor> CreatePIReferenceColor(xrchandle<KColorRGB> color) override;
    void SetPIReferenceColors(xrchandle<KPIReferenceColorList> colors) override;
    xrchandle<KPIReferenceColorList> GetPIReferenceColors() override;
    xrchandle<KPIElementColor> CreatePIElementColor(int itemId, int refColorIndex1,
                                                    int refColorIndex2) override;
    void SetPIElementColors(xrchandle<KPIElementColorList> colors) override;
    xrchandle<KPIElementColorList> GetPIElementColors() override;
    xrchandle<KPINameAttribute> CreatePINameAttribute(int itemId, KPIItemType itemType,
                                                      const char* name) override;
    void SetPINameAttributes(xrchandle<KPINameAttributeList> attributes) override;
    xrchandle<KPINameAttributeList> GetPINameAttributes() override;
    xrchandle<KPIGeneralAttribute> CreatePIGeneralAttribute(int itemId, KPIItemType itemType,
                                                            const char* name, xany value) override;
    void SetPIGeneralAttributes(xrchandle<KPIGeneralAttributeList> attributes) override;
    xrchandle<KPIGeneralAttributeList> GetPIGeneralAttributes() override;
    xrchandle<KPIFacetedRep> CreatePIFacetedRep(int id) override;
    void SetPIFacetedReps(xrchandle<KPIFacetedRepList> reps) override;
    xrchandle<KPIFacetedRepList> GetPIFacetedReps() override;
    // The reference colour of an item, found among the element colours
    // (sorted by item id): a copy of the colour at its first index, else at
    // its second; null when the item has no entry, neither index is set, or
    // the index lies past the stored reference colours.
    xrchandle<KPIReferenceColor> GetPIItemReferenceColor(int itemId) override;

private:
    qel_intf_data_extend* rec_ = nullptr;
};
} // namespace zpi_internal
