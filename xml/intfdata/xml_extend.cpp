// The extended interface-data element.
#include "xml/intfdata/xml_extend.h"

#include "kernel/records/qel_check.h"
#include "kernel/records/qel_copy.h"
#include "xml/intfdata/xml_extedges.h"
#include "xml/intfdata/xml_facets.h"
#include "xml/intfdata/xml_metadata.h"
#include "xml/framework/xml_records.h"

#include <cstring>

using namespace intfxml;

namespace {

// The record's word for list `which`.
void*& ListWord(qel_intf_data_extend& ext, IntfXmlExtList which) {
    switch (which) {
    case IntfXmlExtList::Layers:
        return reinterpret_cast<void*&>(ext.layers);
    case IntfXmlExtList::RefColors:
        return reinterpret_cast<void*&>(ext.ref_colors);
    case IntfXmlExtList::ElemColors:
        return reinterpret_cast<void*&>(ext.elem_colors);
    case IntfXmlExtList::Attribs:
        return ext.attributes;
    case IntfXmlExtList::Units:
        return reinterpret_cast<void*&>(ext.units);
    case IntfXmlExtList::ExtEdges:
        return ext.ext_edges;
    case IntfXmlExtList::ItemNames:
        return reinterpret_cast<void*&>(ext.item_names);
    case IntfXmlExtList::SolidRegions:
        return reinterpret_cast<void*&>(ext.solid_regions);
    case IntfXmlExtList::FacetedReps:
        break;
    }
    return ext.faceted_reps;
}

} // namespace

void IntfXmlFreeExtList(IntfXmlExtList which, void*& array) {
    if (!array)
        return;
    // A record holding just this list is freed the way every record is.
    qel_intf_data_extend tmp;
    std::memset(&tmp, 0, sizeof tmp);
    ListWord(tmp, which) = array;
    impfeat_ext_free(&tmp);
    array = nullptr;
}

// ---- list readers ------------------------------------------------------------------------

IntfXmlExtListReader::IntfXmlExtListReader(IntfXmlQelIntfDataExtend* parent, IntfXmlExtList which,
                                           int32_t count, const char* element, const char* item)
    : IntfXmlElement(parent), ext_(parent), which_(which), count_(count < 0 ? 0 : count),
      element_(element), item_(item) {}

IntfXmlExtListReader::~IntfXmlExtListReader() { IntfXmlFreeExtList(which_, array_); }

void IntfXmlExtListReader::CheckRoom(int have) const {
    if (!array_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" continues after it ended", element_);
    intfxml::CheckRoom(have, count_, item_, element_);
}

namespace {
void CheckItem(const char* name, const char* item, const char* element) {
    if (std::strcmp(name, item) != 0)
        IntfXmlThrowUnexpected(name, element);
}
} // namespace

int IntfXmlExtListReader::AppendXarEntry(const char* name) {
    CheckItem(name, item_, element_);
    CheckRoom(xar_count(array_));
    const int st = xar_extend(&array_, 1, nullptr);
    if (st != 0)
        IntfXmlThrowStatus(st, "xar_extend");
    return xar_count(array_) - 1;
}

void* IntfXmlExtListReader::AppendHarEntry(const char* name) {
    CheckItem(name, item_, element_);
    CheckRoom(har_total(array_));
    return HarAppendZero<void>(array_);
}

IntfXmlElement* IntfXmlExtListReader::EndFlatList(const char* name) {
    if (!NamesEmpty()) {
        IntfXmlTellTextNotRead(name, Text()); // an item is its attributes
        PopName(name);
        return this;
    }
    return Finish(xar_count(array_));
}

IntfXmlElement* IntfXmlExtListReader::Finish(int have) {
    if (!array_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" ends twice", element_);
    CheckComplete(have, count_, item_, element_);
    if (ext_)
        ext_->StoreList(which_, array_);
    return Parent();
}

// ---- the element ---------------------------------------------------------------------------

IntfXmlQelIntfDataExtend::IntfXmlQelIntfDataExtend(const qel_intf_data_extend* rec,
                                                   const char* name) {
    if (!rec)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no extended interface data to write");
    // Names and values that would not read back as they are: refused
    // before the element is begun, naming the entry.
    IntfXmlRefuseFault(qel_intf_data_extend_fault(rec));
    StartElement(name ? name : "QelIntfDataExtend");
    if (rec->units)
        IntfXmlUnits(rec->units, "Units");
    if (rec->layers)
        IntfXmlLayers(rec->layers, "Layers");
    if (rec->item_names)
        IntfXmlItemNames(rec->item_names, "ItemNames");
    if (rec->attributes)
        IntfXmlAttribs(rec->attributes, "Attribs");
    if (rec->elem_colors)
        IntfXmlEleColors(rec->elem_colors, "ElemColors");
    if (rec->ref_colors)
        IntfXmlRefColors(rec->ref_colors, "RefColors");
    if (rec->ext_edges)
        IntfXmlExtEdges(rec->ext_edges, "ExtEdges");
    if (rec->solid_regions)
        IntfXmlSolidRegions(rec->solid_regions, "SolidRegions");
    if (rec->faceted_reps)
        IntfXmlFacetedReps(rec->faceted_reps, "FacetedReps");
    EndElement();
}

IntfXmlQelIntfDataExtend::IntfXmlQelIntfDataExtend(IntfXmlElement* parent)
    : IntfXmlElement(parent) {
    data_ = static_cast<qel_intf_data_extend*>(getmem(sizeof(qel_intf_data_extend)));
    if (!data_)
        IntfXmlThrowStatus(QEL_ERR_NO_MEMORY, "getmem");
}

IntfXmlQelIntfDataExtend::~IntfXmlQelIntfDataExtend() {
    if (data_) {
        impfeat_ext_free(data_);
        rlsmem(data_);
    }
}

void IntfXmlQelIntfDataExtend::StoreList(IntfXmlExtList which, void*& array) {
    if (!data_) {
        IntfXmlFreeExtList(which, array);
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"QelIntfDataExtend\" continues after it was taken");
    }
    void*& word = ListWord(*data_, which);
    IntfXmlFreeExtList(which, word);
    word = array;
    array = nullptr;
}

IntfXmlElement* IntfXmlQelIntfDataExtend::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (!Parent() && !sawRoot_) {
        // A document's top reader: the root element is this element.
        if (std::strcmp(name, "QelIntfDataExtend") != 0)
            IntfXmlThrowUnexpected(name, "the document");
        sawRoot_ = true;
        return this;
    }
    // The list readers are made through MakeChild, so this reader owns them.
    static const char* const kNames[] = {"Units",      "Layers",    "ItemNames",
                                         "Attribs",    "ElemColors", "RefColors",
                                         "ExtEdges",   "SolidRegions", "FacetedReps"};
    int which = -1;
    for (int i = 0; i < 9; ++i)
        if (std::strcmp(name, kNames[i]) == 0)
            which = i;
    if (which < 0)
        IntfXmlThrowUnexpected(name, "QelIntfDataExtend");
    // A list given twice: the later one replaces the earlier (told).
    IntfXmlSeeOnce(lists_, 1u << which, name, "QelIntfDataExtend");
    const int32_t n = IntfXmlRequireSize(attrs, name);
    switch (which) {
    case 0:
        return MakeChild<IntfXmlUnits>(n);
    case 1:
        return MakeChild<IntfXmlLayers>(n);
    case 2:
        return MakeChild<IntfXmlItemNames>(n);
    case 3:
        return MakeChild<IntfXmlAttribs>(n);
    case 4:
        return MakeChild<IntfXmlEleColors>(n);
    case 5:
        return MakeChild<IntfXmlRefColors>(n);
    case 6:
        return MakeChild<IntfXmlExtEdges>(n);
    case 7:
        return MakeChild<IntfXmlSolidRegions>(n);
    default:
        return MakeChild<IntfXmlFacetedReps>(n);
    }
}

IntfXmlElement* IntfXmlQelIntfDataExtend::endElement(const char*) { return Parent(); }
