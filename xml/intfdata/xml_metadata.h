// Metadata lists of the extended interface data: units, item names,
// general attributes, layers, element colours and reference colours.
//
//   "Units" size=n       n x "Unit" name type factor
//   "ItemNames" size=n   n x "ItemName" name type id
//   "Attribs" size=n     n x "Attrib" name refType refId { "Value" type val }
//   "Layers" size=n      n x "Layer" name layer_id operation { "Ids" (int sequence) }
//   "ElemColors" size=n  n x "Col" id idx0 idx1
//   "RefColors" size=n   n x "RefColor" amb diff spec spec-coef ref trans
//                        { "Color", "Highlight" (r g b), "Bump", "Decal",
//                          "Texture" (name fileName) }
// "Value" by kind: 1 and 5 an integer, 2 a double, 3 a text; any other
// kind is written without attributes (and read back leaving the value as
// it was).
//
// Names and texts are UTF-8 in the document and UTF-16 in the records, cut
// to their fields (names 31 units, file names 259, attribute texts 80) on a
// character boundary. Attributes missing at their position read as -1,
// -1.0 or the empty text, as the attribute getters give them. Each list
// must hold exactly its "size" items.
#pragma once

#include "api/qel_records.h"
#include "xml/intfdata/xml_extend.h"

#include <cstdint>

class IntfXmlQelIntSeq;

class IntfXmlUnits : public IntfXmlExtListReader, public IntfXmlWriting {
public:
    IntfXmlUnits(const QelUnitdata* units, const char* name = nullptr); // writer
    IntfXmlUnits(IntfXmlQelIntfDataExtend* parent, int32_t count);    // reader
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
};

class IntfXmlItemNames : public IntfXmlExtListReader, public IntfXmlWriting {
public:
    IntfXmlItemNames(const QelItemNamedata* names, const char* name = nullptr);
    IntfXmlItemNames(IntfXmlQelIntfDataExtend* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
};

class IntfXmlAttribs : public IntfXmlExtListReader, public IntfXmlWriting {
public:
    // Writer over a paged array of general attribute entries.
    IntfXmlAttribs(const void* attribs, const char* name = nullptr);
    IntfXmlAttribs(IntfXmlQelIntfDataExtend* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    IntfXmlElement* current_ = nullptr; // the latest item reader
};

class IntfXmlAttrib : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlAttrib(const QelGenAttribdata* entry, const char* name = nullptr); // writer
    IntfXmlAttrib(IntfXmlAttribs* parent, QelGenAttribdata* entry);         // reader
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    QelGenAttribdata* entry_ = nullptr; // in the list's array (never moves)
    bool haveValue_ = false;            // its "Value" came
};

class IntfXmlLayers : public IntfXmlExtListReader, public IntfXmlWriting {
public:
    IntfXmlLayers(const QelLayerdata* layers, const char* name = nullptr);
    IntfXmlLayers(IntfXmlQelIntfDataExtend* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    // The layer at `index` takes the id array (freed on failure).
    void SetIds(int32_t index, uint32_t* ids);

private:
    IntfXmlElement* current_ = nullptr;
};

class IntfXmlLayer : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlLayer(const QelLayerdata* entry, const char* name = nullptr); // writer
    IntfXmlLayer(IntfXmlLayers* parent, int32_t index);                // reader
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    IntfXmlLayers* list_ = nullptr;
    int32_t index_ = 0;
    IntfXmlQelIntSeq* ids_ = nullptr;
};

// The element colour list; the extension element writes it as "ElemColors".
class IntfXmlEleColors : public IntfXmlExtListReader, public IntfXmlWriting {
public:
    IntfXmlEleColors(const QelElemColordata* colors, const char* name = nullptr); // "EleColors"
    IntfXmlEleColors(IntfXmlQelIntfDataExtend* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
};

class IntfXmlRefColors : public IntfXmlExtListReader, public IntfXmlWriting {
public:
    IntfXmlRefColors(const QelRefColordata* colors, const char* name = nullptr);
    IntfXmlRefColors(IntfXmlQelIntfDataExtend* parent, int32_t count);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    // Entry `index` of the array being filled.
    QelRefColordata& Entry(int32_t index);

private:
    IntfXmlElement* current_ = nullptr;
};

class IntfXmlRefColor : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlRefColor(const QelRefColordata* entry, const char* name = nullptr); // writer
    IntfXmlRefColor(IntfXmlRefColors* parent, int32_t index);                // reader
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    // Marks child `child` (kRefColorChildren) as read; a second one is told.
    void See(int child);

    IntfXmlRefColors* list_ = nullptr;
    int32_t index_ = 0;
    unsigned seen_ = 0; // bit i: child i of "Color", "Highlight", "Bump", "Decal", "Texture"
};
