// Faceted representations of the extended interface data.
//
//   "FacetedReps" size=n      n x "FacetedRep" id { "FacetVertices",
//                             ["FacetVtxdataArr"], ["FacetdataArr"], "Outline" }
//   "FacetVertices" size=k    k x "FacetVtx" Neighbour { "XYZ" (x y z) }
//   "FacetVtxdataArr" size=k  k x "FacetVtxdata" { "Normal" (x y z),
//                                                  "TextureUV" (u v) }
//   "FacetdataArr" size=k     k x "Facetdata" { "VtxIndices", "VtxdataIndices",
//                             "FacetIndices" (three integers each), "Normal" }
// A null vertex list is written with size "0"; null vertex data and facet
// lists are left out (and left null when read). Indices are written as the
// records hold them (an unset triple as "-1 -1 -1").
//
// The element records are allocated one by one as their elements arrive;
// every slot of a list read holds a record. A record whose list holds an
// unset slot is refused by the writers (IntfXmlError, INTFXML_ERR_RECORD).
#pragma once

#include "api/qel_records.h"
#include "xml/intfdata/xml_extend.h"

#include <cstddef>
#include <cstdint>

class IntfXmlOutline;
class IntfXmlFacetList;

class IntfXmlFacetedReps : public IntfXmlExtListReader, public IntfXmlWriting {
public:
    // Writer over a paged array of faceted representation entries.
    IntfXmlFacetedReps(const void* reps, const char* name = nullptr);
    IntfXmlFacetedReps(IntfXmlQelIntfDataExtend* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    bool IsListHandler() const override { return true; }
};

class IntfXmlFacetedRep : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlFacetedRep(const QelFacetedRepdata* entry, const char* name = nullptr); // writer
    // Reader filling `entry` in place (an entry of the list's paged array).
    IntfXmlFacetedRep(IntfXmlFacetedReps* parent, QelFacetedRepdata* entry);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    QelFacetedRepdata* entry_ = nullptr;
    IntfXmlFacetList* vertices_ = nullptr;
    IntfXmlFacetList* vtxdata_ = nullptr;
    IntfXmlFacetList* facets_ = nullptr;
    IntfXmlOutline* outline_ = nullptr;
};

// Base of the three lists of element records (paged arrays of pointers).
class IntfXmlFacetList : public IntfXmlElement, public IntfXmlWriting {
public:
    ~IntfXmlFacetList() override;
    IntfXmlElement* endElement(const char* name) override;
    bool IsListHandler() const override { return true; }

    // The paged array of record pointers (never null after a read); the
    // caller owns it with the records.
    void* TakeArray();

protected:
    IntfXmlFacetList() = default; // writers
    IntfXmlFacetList(IntfXmlElement* parent, int32_t count, const char* element,
                     const char* item, size_t recordSize);
    // Writers: checks the array and returns its number of entries.
    static int CountRecords(const void* list, const char* what);
    // A new zero-filled record in the next slot for the child `name`;
    // throws when it is not the item element, the list is full or memory
    // runs out.
    void* NewRecord(const char* name);

private:
    int32_t count_ = 0;
    const char* element_ = "";
    const char* item_ = "";
    size_t recordSize_ = 0;
    void* records_ = nullptr;
};

class IntfXmlFacetVertices : public IntfXmlFacetList {
public:
    IntfXmlFacetVertices(const void* vertices, const char* name = nullptr);
    IntfXmlFacetVertices(IntfXmlElement* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
};

class IntfXmlFacetVtxdataArr : public IntfXmlFacetList {
public:
    IntfXmlFacetVtxdataArr(const void* vtxdata, const char* name = nullptr);
    IntfXmlFacetVtxdataArr(IntfXmlElement* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
};

class IntfXmlFacetdataArr : public IntfXmlFacetList {
public:
    IntfXmlFacetdataArr(const void* facets, const char* name = nullptr);
    IntfXmlFacetdataArr(IntfXmlElement* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
};

class IntfXmlFacetVtx : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlFacetVtx(const QelFacetVertexdata* rec, const char* name = nullptr);
    IntfXmlFacetVtx(IntfXmlElement* parent, QelFacetVertexdata* rec);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    QelFacetVertexdata* rec_ = nullptr;
    unsigned seen_ = 0;
};

class IntfXmlFacetVtxdata : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlFacetVtxdata(const QelFacetVtxdata* rec, const char* name = nullptr);
    IntfXmlFacetVtxdata(IntfXmlElement* parent, QelFacetVtxdata* rec);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    QelFacetVtxdata* rec_ = nullptr;
    unsigned seen_ = 0;
};

class IntfXmlFacetdata : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlFacetdata(const QelFacetdata* rec, const char* name = nullptr);
    IntfXmlFacetdata(IntfXmlElement* parent, QelFacetdata* rec);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    QelFacetdata* rec_ = nullptr;
    unsigned seen_ = 0;
};

// Frees a paged array of element record pointers with the records; the
// handle becomes null.
void IntfXmlFreeRecordList(void*& list);
