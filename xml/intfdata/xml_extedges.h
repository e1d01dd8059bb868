// Extended edges and solid regions of the extended interface data.
//
//   "ExtEdges" size=n      n x "ExtEdge" ID { "StVtxComps", "EndVtxComps"
//                          (size=k, k x "VtxComp" EdgeId StOrEnd), "StXYZ",
//                          "EndXYZ" (point texts) }
//   "SolidRegions" size=n  n x "SolidRegion" { "ExtShell", ["IntShells"
//                          size=m { m x "IntShell" }] }
//   "ExtShell", "IntShell" "SurfIds" size=k, text: each id followed by a
//                          newline
//
// A null component or id array is written with size "0". Reading: the ids
// of "SurfIds" are its lines (a line holding two numbers is an error);
// attributes missing at their position read as -1; a region without
// "IntShells" keeps no internal shell array, one without "ExtShell" no
// external shell.
#pragma once

#include "api/qel_records.h"
#include "xml/intfdata/xml_extend.h"

#include <cstdint>

class IntfXmlVtxComps;
class IntfXmlShell;
class IntfXmlIntShells;

class IntfXmlExtEdges : public IntfXmlExtListReader, public IntfXmlWriting {
public:
    // Writer over a paged array of extended-edge entries.
    IntfXmlExtEdges(const void* edges, const char* name = nullptr);
    IntfXmlExtEdges(IntfXmlQelIntfDataExtend* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    IntfXmlElement* current_ = nullptr;
};

class IntfXmlExtEdge : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlExtEdge(const QelExtEdgedata* entry, const char* name = nullptr); // writer
    // Reader filling `entry` in place (an entry of the list's paged array).
    IntfXmlExtEdge(IntfXmlExtEdges* parent, QelExtEdgedata* entry);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    QelExtEdgedata* entry_ = nullptr;
    IntfXmlVtxComps* start_ = nullptr;
    IntfXmlVtxComps* end_ = nullptr;
    unsigned seen_ = 0; // 1: "StXYZ", 2: "EndXYZ"
};

class IntfXmlVtxComps : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlVtxComps(const QelVtxCompdata* comps, const char* name = nullptr); // "VtxComps"
    IntfXmlVtxComps(IntfXmlElement* parent, int32_t count);
    ~IntfXmlVtxComps() override;
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    // The components read (an xar, never null); the caller owns it.
    QelVtxCompdata* TakeArray();

private:
    int32_t count_ = 0;
    QelVtxCompdata* comps_ = nullptr;
};

class IntfXmlSolidRegions : public IntfXmlExtListReader, public IntfXmlWriting {
public:
    IntfXmlSolidRegions(const QelSolidRegiondata* regions, const char* name = nullptr);
    IntfXmlSolidRegions(IntfXmlQelIntfDataExtend* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    QelSolidRegiondata& Entry(int32_t index);

private:
    IntfXmlElement* current_ = nullptr;
};

class IntfXmlSolidRegion : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlSolidRegion(const QelSolidRegiondata* entry, const char* name = nullptr); // writer
    IntfXmlSolidRegion(IntfXmlSolidRegions* parent, int32_t index);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    IntfXmlSolidRegions* list_ = nullptr;
    int32_t index_ = 0;
    IntfXmlShell* extShell_ = nullptr;
    IntfXmlIntShells* intShells_ = nullptr;
};

// One shell: its "SurfIds".
class IntfXmlShell : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlShell(const int32_t* ids, const char* name = nullptr); // writer ("Shell")
    explicit IntfXmlShell(IntfXmlElement* parent);
    ~IntfXmlShell() override;
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    // The ids read (an xar), or null without "SurfIds"; the caller owns it.
    int32_t* TakeArray();

private:
    int32_t count_ = 0;
    int32_t* ids_ = nullptr;
    bool haveIds_ = false;
};

// Reader of "IntShells" (its writer is the solid region's).
class IntfXmlIntShells : public IntfXmlElement {
public:
    IntfXmlIntShells(IntfXmlElement* parent, int32_t count);
    ~IntfXmlIntShells() override;
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    // The shells read (an xar of id arrays, never null); the caller owns it
    // with the id arrays.
    int32_t** TakeArray();

private:
    void Collect();

    int32_t count_ = 0;
    int32_t** shells_ = nullptr;
    IntfXmlShell* current_ = nullptr;
};
