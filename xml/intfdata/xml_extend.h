// The extended interface-data element "QelIntfDataExtend": up to nine list
// elements, written in this order when the record's list is set (an empty
// list is still written, with size "0"):
//   "Units", "Layers", "ItemNames", "Attribs", "ElemColors", "RefColors",
//   "ExtEdges", "SolidRegions", "FacetedReps".
// The annotation words of the record (dimensions and the rest) are not
// part of the document.
//
// Reading: the lists may come in any order; a list that occurs twice
// leaves the later one. Each list carries its "size" (required, not
// negative) and must hold exactly that many items. The element also serves
// as a document's root: a top reader (parent null) takes the start tag
// "QelIntfDataExtend" as its own.
//
// Ownership: the reader allocates a zero-filled record and owns it, with
// every list stored into it, until Detach; GetData only looks at it. A
// record still held when the reader is destroyed is freed (impfeat_ext_free
// and rlsmem), so a document that fails half-way leaks nothing. A caller
// that keeps the record calls Detach and frees it with impfeat_ext_free
// followed by rlsmem.
#pragma once

#include "api/qel_records.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_writer.h"

#include <cstdint>

// The nine lists of the record, in record order.
enum class IntfXmlExtList {
    Layers,
    RefColors,
    ElemColors,
    Attribs,
    Units,
    ExtEdges,
    ItemNames,
    SolidRegions,
    FacetedReps,
};

// Frees one list array of the record's kind `which` with everything its
// entries hold (as impfeat_ext_free does for the record); `array` becomes
// null.
void IntfXmlFreeExtList(IntfXmlExtList which, void*& array);

class IntfXmlQelIntfDataExtend : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer: the whole element (null name: "QelIntfDataExtend"). Throws
    // IntfXmlError for a record whose lists do not hold what they should.
    // The name has no default so that a one-argument call is the reader.
    IntfXmlQelIntfDataExtend(const qel_intf_data_extend* rec, const char* name);
    // Reader; a null parent makes it a document's top reader.
    explicit IntfXmlQelIntfDataExtend(IntfXmlElement* parent);
    ~IntfXmlQelIntfDataExtend() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    bool IsDocumentPart() const override { return true; }

    // The record read (still owned by the reader); null after Detach.
    qel_intf_data_extend* GetData() const { return data_; }
    // Forgets the record; the caller owns it from now on.
    void Detach() { data_ = nullptr; }

    // Used by the list readers at their end tags: stores `array` into the
    // record's list `which`, freeing the list it replaces; `array` becomes
    // null (on failure too: it is freed then).
    void StoreList(IntfXmlExtList which, void*& array);

private:
    qel_intf_data_extend* data_ = nullptr;
    bool sawRoot_ = false;
    unsigned lists_ = 0; // bit i: the i-th list element came
};

// Base of the readers of the nine lists: the announced count, the array
// being filled (owned, with what its entries hold, until stored into the
// record) and the store at the list's end tag.
class IntfXmlExtListReader : public IntfXmlElement {
public:
    ~IntfXmlExtListReader() override;

protected:
    // Writers.
    IntfXmlExtListReader() = default;
    IntfXmlExtListReader(IntfXmlQelIntfDataExtend* parent, IntfXmlExtList which, int32_t count,
                         const char* element, const char* item);
    // Throws when `have` items already fill the count.
    void CheckRoom(int have) const;
    // The next item of the list: `name` must be the item element and the
    // count must leave room. Appends a zero-filled entry to the xar list and
    // returns its index (the array may move), or to the har list and
    // returns the entry.
    int AppendXarEntry(const char* name);
    void* AppendHarEntry(const char* name);
    // End tag of a list whose items are read by the list itself (no item
    // reader): an item's own tag, or the list's.
    IntfXmlElement* EndFlatList(const char* name);
    // Checks that `have` items arrived, stores the array into the record
    // and returns the parent.
    IntfXmlElement* Finish(int have);

    IntfXmlQelIntfDataExtend* ext_ = nullptr;
    IntfXmlExtList which_ = IntfXmlExtList::Layers;
    int32_t count_ = 0;
    const char* element_ = "";
    const char* item_ = "";
    void* array_ = nullptr;
};
