// xml/geometry: the value elements (this header), curve and surface
// elements (xml_curves.h, xml_surfaces.h) over host records, and the same
// elements written from interface objects (xml_kpi_geometry.h). It uses
// framework/.
//
// Geometric value elements: points, vectors, UV parameters, outlines,
// coordinate systems and counted lists of them.
//
//   "Qel3dPnt" / "QelVector"   text "x y z"
//   "QelUvParam"               text "u v"
//   "Outline"                  "MinPoint", "MaxPoint" (point texts)
//   "Csys"                     "X", "Y", "Z" (vectors), "O" (point)
//   "UVParams"   size=n        n x "SrfPoint" with four numbers each
//   "QelPntList" size=n        n x "P" (point texts)
//   "QelVectorList" size=n     n x "V" (vector texts)
//   "QelIntSeq"  size=n        text: n integers
//   "QelRealSeq" size=n        text: n doubles
// Callers use these under names of their own ("XYZMin", "EdgeIds", ...);
// a writer given a null name writes the default name above.
//
// Readers of lists are given the count by their parent (which reads the
// list's "size" with IntfXmlRequireSize). A list reader allocates no more
// than the items that really arrive, and at its end tag the number of items
// must equal the count. A sequence takes the first count words of its text
// (fewer is an error; words beyond them are not read), as a point takes the
// first three. The reader owns its array until TakeArray; an array not
// taken is freed with the reader. Arrays are xar arrays.
#pragma once

#include "api/qel_records.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_writer.h"

#include <cstdint>
#include <functional>
#include <string>

class IntfXmlQel3dPnt : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlQel3dPnt(const double* xyz, const char* name = nullptr); // writer
    // The writer without an object (what the writer constructor does).
    INTFXML_INLINE static void Write(const double* xyz, const char* name = nullptr) {
        IntfXmlWriter::Current().NumbersElement(name ? name : "Qel3dPnt", xyz, 3);
    }
    explicit IntfXmlQel3dPnt(IntfXmlElement* parent);             // reader
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    const double* GetPoint() const { return xyz_; }
    // Words 0, 1, 2 of the text into xyz; strict (see xml_element.h).
    static void ParseXyz(std::string_view text, double* xyz, const char* element = "point");

private:
    double xyz_[3] = {0, 0, 0};
};

// Writer only: a vector is read by its parent with ParseXyz.
class IntfXmlQelVector : public IntfXmlWriting {
public:
    IntfXmlQelVector(const double* xyz, const char* name = nullptr);
    INTFXML_INLINE static void Write(const double* xyz, const char* name = nullptr) {
        IntfXmlWriter::Current().NumbersElement(name ? name : "QelVector", xyz, 3);
    }
};

class IntfXmlQelUvParam : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlQelUvParam(const double* uv, const char* name = nullptr); // writer
    INTFXML_INLINE static void Write(const double* uv, const char* name = nullptr) {
        IntfXmlWriter::Current().NumbersElement(name ? name : "QelUvParam", uv, 2);
    }
    explicit IntfXmlQelUvParam(IntfXmlElement* parent);            // reader
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    const double* GetUv() const { return uv_; }

private:
    double uv_[2] = {0, 0};
};

class IntfXmlOutline : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writes "Outline" from six doubles: minimum point, maximum point.
    explicit IntfXmlOutline(const double* outline6);
    explicit IntfXmlOutline(IntfXmlElement* parent); // reader
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    // Its own text (whitespace between children) is not used.
    void characters(const char*, unsigned) override {}
    void EndValue(int slot, std::string_view text, const char* name) override;

    const double* GetMin() const { return outline_; }
    const double* GetMax() const { return outline_ + 3; }
    const double* GetOutline() const { return outline_; }

private:
    double outline_[6] = {0, 0, 0, 0, 0, 0};
    unsigned seen_ = 0;
};

// The values of a "Csys" ("X", "Y", "Z", "O"), for IntfXmlCsys and for
// readers that read a coordinate system in place.
struct IntfXmlCsysValues {
    // The slot of a child; throws (not expected in "Csys") for another name
    // and for any element inside a value (`inValue`).
    static int Slot(const char* name, bool inValue);
    // The value of a child; a second one of the same slot is read and told.
    void Store(int slot, std::string_view text, const char* name);
    // At the end tag: throws when an axis or the origin is missing.
    void Finish() const;

    QelFrame frame{};
    unsigned seen = 0;
};

// The items of a point or vector list ("P" or "V", any name, a point text
// each) against the count its "size" gave, for IntfXmlQelPntList and for
// readers that read a point list in place. `what` names the list in
// messages.
class IntfXmlPointItems {
public:
    IntfXmlPointItems() = default;
    IntfXmlPointItems(const IntfXmlPointItems&) = delete;
    IntfXmlPointItems& operator=(const IntfXmlPointItems&) = delete;
    ~IntfXmlPointItems();

    // A list of `count` items starts (count >= 0).
    void Start(int32_t count, const char* what);
    // An item starts: throws for an element inside an item (`inValue`) and
    // for an item beyond the count.
    void CheckItem(const char* name, bool inValue) const;
    void Add(std::string_view text, const char* name);
    // At the list's end tag: throws when items are missing.
    void Finish() const;
    int32_t Count() const { return next_; }
    const QelPoint* Array() const { return items_; }
    // The array (an xar, null when no list started); the caller owns it.
    QelPoint* Take();

private:
    const char* what_ = "QelPntList";
    int32_t count_ = 0;
    int32_t next_ = 0;
    QelPoint* items_ = nullptr;
};

// The first `count` words of a text as an xar of numbers (fewer words is an
// error naming `element`; words beyond are not read, and that is told,
// IntfXmlTellValuesPast: documents that hold them are read as before); the
// caller owns it. `item()`, when given, names the item in what is told
// (asked only then).
double* IntfXmlReadRealSeq(std::string_view text, int32_t count, const char* element);
int32_t* IntfXmlReadIntSeq(std::string_view text, int32_t count, const char* element,
                           const std::function<std::string()>& item = nullptr);

class IntfXmlCsys : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlCsys(const double* x, const double* y, const double* z, const double* o,
                const char* name = nullptr);                          // writer
    IntfXmlCsys(const QelFrame& frame, const char* name = nullptr); // writer
    static void Write(const double* x, const double* y, const double* z, const double* o,
                      const char* name = nullptr);
    static void Write(const QelFrame& frame, const char* name = nullptr) {
        Write(frame.e1, frame.e2, frame.e3, frame.origin, name);
    }
    explicit IntfXmlCsys(IntfXmlElement* parent);                   // reader
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    // Its own text (whitespace between children) is not used.
    void characters(const char*, unsigned) override {}
    void EndValue(int slot, std::string_view text, const char* name) override;

    const double* GetX() const { return values_.frame.e1; }
    const double* GetY() const { return values_.frame.e2; }
    const double* GetZ() const { return values_.frame.e3; }
    const double* GetO() const { return values_.frame.origin; }
    const QelFrame& GetFrame() const { return values_.frame; }

private:
    IntfXmlCsysValues values_;
};

// Items of four doubles (QelUvSample).
class IntfXmlUVParams : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlUVParams(const QelUvSample* items, int32_t count, const char* name = nullptr);
    static void Write(const QelUvSample* items, int32_t count, const char* name = nullptr);
    IntfXmlUVParams(IntfXmlElement* parent, int32_t count);
    ~IntfXmlUVParams() override;
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    // Its own text (whitespace between children) is not used.
    void characters(const char*, unsigned) override {}
    void EndValue(int slot, std::string_view text, const char* name) override;

    const QelUvSample* GetArray() const { return items_; }
    int32_t GetCount() const { return next_; }
    // The array (xar, never null after a complete read); the caller owns it.
    QelUvSample* TakeArray();

private:
    int32_t count_ = 0;
    int32_t next_ = 0;
    QelUvSample* items_ = nullptr;
};

class IntfXmlQelPntList : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlQelPntList(const QelPoint* points, int32_t count, const char* name = nullptr);
    IntfXmlQelPntList(IntfXmlElement* parent, int32_t count);
    ~IntfXmlQelPntList() override;
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    // Its own text (whitespace between children) is not used.
    void characters(const char*, unsigned) override {}
    void EndValue(int slot, std::string_view text, const char* name) override;

    const QelPoint* GetArray() const { return items_.Array(); }
    int32_t GetCount() const { return items_.Count(); }
    QelPoint* TakeArray() { return items_.Take(); }

protected:
    // Writer for another item element name ("V" of vector lists).
    IntfXmlQelPntList(const QelPoint* points, int32_t count, const char* name,
                      const char* defaultName, const char* itemName);
    // Reader of a list named `what` in messages.
    struct ListName {
        const char* what;
    };
    IntfXmlQelPntList(IntfXmlElement* parent, int32_t count, ListName name);

private:
    IntfXmlPointItems items_;
};

class IntfXmlQelVectorList : public IntfXmlQelPntList {
public:
    IntfXmlQelVectorList(const QelPoint* vectors, int32_t count, const char* name = nullptr);
    IntfXmlQelVectorList(IntfXmlElement* parent, int32_t count);
};

class IntfXmlQelIntSeq : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlQelIntSeq(const int32_t* values, int32_t count, const char* name = nullptr);
    static void Write(const int32_t* values, int32_t count, const char* name = nullptr);
    IntfXmlQelIntSeq(IntfXmlElement* parent, int32_t count);
    ~IntfXmlQelIntSeq() override;
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    int32_t GetCount() const { return count_; }
    const int32_t* GetArray() const { return values_; }
    int32_t* TakeArray();

private:
    int32_t count_ = 0;
    int32_t* values_ = nullptr;
};

class IntfXmlQelRealSeq : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlQelRealSeq(const double* values, int32_t count, const char* name = nullptr);
    static void Write(const double* values, int32_t count, const char* name = nullptr);
    IntfXmlQelRealSeq(IntfXmlElement* parent, int32_t count);
    ~IntfXmlQelRealSeq() override;
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    int32_t GetCount() const { return count_; }
    const double* GetArray() const { return values_; }
    double* TakeArray();

private:
    int32_t count_ = 0;
    double* values_ = nullptr;
};

// Weights read for a B-spline curve or surface: throws IntfXmlError
// (INTFXML_ERR_MALFORMED) for one that cannot weigh a point (0, -0,
// subnormal, infinite or not a number), naming `element` and the weight.
// These two apply the rule of every route into the writers
// (kernel/records/qel_check.h).
void IntfXmlCheckWeights(const double* weights, int32_t count, const char* element);
// The control points of a B-spline read with its weights, as they are
// kept (multiplied by their weights): throws IntfXmlError
// (INTFXML_ERR_MALFORMED) for one that, divided by its weight, is not
// finite or comes to 0 where it is not 0.
void IntfXmlCheckWeightedPoints(const QelPoint* points, const double* weights, int32_t count,
                                const char* element);

// Checks that a record's array holds at least `count` items of `itemSize`
// bytes before a writer reads them; throws IntfXmlError (INTFXML_ERR_RECORD)
// naming `what` otherwise. A null array is accepted only with count 0. An
// array in pages (har) is accepted only when `paged` says the writer reads
// it item by item.
void IntfXmlCheckArray(const void* array, int64_t count, size_t itemSize, const char* what,
                       bool paged = false);
