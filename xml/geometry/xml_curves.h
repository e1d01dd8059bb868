// Curve elements: one "Curve" element (under the caller's name) whose single
// child names the kind:
//   "Point"     Position
//   "Line"      Start, End
//   "Arc"       Vector1, Vector2, Origin, StartAngle, EndAngle, Radius
//   "Spline"    Params (QelRealSeq), Points (QelPntList), Tangents (QelVectorList)
//   "Bspline"   Degree, Params, [Weights], CPoints
//   "Ellipse"   Center, MajorAxis, MinorAxis, MajorLen, MinorLen, StartAngle, EndAngle
//   "CompCurve" Components size=n { Component dir=d { Curve } ... }
// A record of another kind (the host kinds 10, 40 and 56 among them, a
// cleared curve) has no element: the writer refuses it.
//
// Reading: IntfXmlCurve(parent) reads a "Curve" of any name. After its end
// tag the consumer takes the record with TakeCurveData, which hands over the
// record's arrays as well; a curve not taken is freed with the reader. An
// empty "Curve" (no kind element, as earlier writers wrote for those kinds)
// reads as no curve: TakeCurveData answers false, so an edge gets a null
// curve (told). Where a datum, a surface or a composite curve holds the
// curve (the holder calls Required), nothing could use a cleared one: an
// empty element is refused at its end tag. Every kind element must be
// complete, with list counts that agree, or the reader throws IntfXmlError.
#pragma once

#include "api/qel_records.h"
#include "kernel/records/qel_check.h"
#include "xml/framework/xml_element.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_writer.h"

class IntfXmlCurveKind;

// The curve kinds whose children are all values: "Point" (its one child
// holds the position, whatever its name), "Line", "Arc" and "Ellipse".
// What each child is and where its value goes in the curve record; the kind
// readers and the readers that read such curves in place share it.
struct IntfXmlValueCurve {
    // The kind that a kind element of this name starts; null for any other.
    static const IntfXmlValueCurve* Find(const char* name);
    // The value slot of a child of the kind element. Throws IntfXmlError
    // (the child is not expected in the kind) for a name the kind does not
    // know, and for any element inside a value (`inValue`).
    int Slot(const char* name, bool inValue) const;
    // Converts the text of the value in `slot` into `rec` and marks it in
    // `seen` (a value already marked is replaced, and that is told).
    void Store(int slot, std::string_view text, const char* name, QelCurvedata& rec,
               unsigned& seen) const;
    // At the kind's end tag: throws when a value is missing; sets the kind.
    void Finish(QelCurvedata& rec, unsigned seen) const;

    const char* self;         // the kind element's name, for messages
    uint32_t code;            // the record's kind
    const char* const* names; // the children, null-terminated
    bool anyName;             // the one child, whatever its name
    uint8_t words[7];         // 3: a point or vector; 1: one number
    uint8_t offsets[7];       // where each value goes in the record
};

// Reading one curve element (a "Curve" under any name) for the reader that
// holds it. A kind of IntfXmlValueCurve is read in place, with no reader of
// its own: the holder takes the kind element's children as values and
// hands them here. Any other kind is read by its kind reader, made as a
// child of the holder. IntfXmlCurve reads through one; a reader that holds
// curves itself (an edge) keeps its own and needs no reader per curve.
class IntfXmlCurveSlot {
public:
    IntfXmlCurveSlot() = default;
    IntfXmlCurveSlot(const IntfXmlCurveSlot&) = delete;
    IntfXmlCurveSlot& operator=(const IntfXmlCurveSlot&) = delete;
    ~IntfXmlCurveSlot();

    // The kind element starts: returns the reader for what follows, which
    // is `holder` itself while the kind is read in place (InKind()). Throws
    // for an unknown kind and for a second curve.
    IntfXmlElement* StartKind(IntfXmlElement* holder, const char* name);
    bool InKind() const { return inKind_ != nullptr; }
    // While the kind is read in place: a child starts (its value slot), a
    // value ends, the kind element ends.
    int ValueSlot(const char* name, bool inValue) const { return inKind_->Slot(name, inValue); }
    void Value(int slot, std::string_view text, const char* name) {
        inKind_->Store(slot, text, name, record_, seen_);
    }
    void EndKind();

    // As IntfXmlCurve's GetData and TakeCurveData.
    const QelCurvedata* GetData() const;
    bool TakeCurveData(QelCurvedata* out);

private:
    const IntfXmlValueCurve* inKind_ = nullptr; // the kind being read in place
    bool started_ = false;                       // a kind element came
    bool filled_ = false;                        // record_ holds a curve read in place
    unsigned seen_ = 0;
    QelCurvedata record_; // set when a kind starts in place
    IntfXmlCurveKind* kind_ = nullptr; // a kind read by its reader (owned by the holder)
};

class IntfXmlCurve : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writes the curve as an element named `name` (default "Curve"). Throws
    // IntfXmlError (INTFXML_ERR_RECORD) for a curve of a kind without an
    // element, a record whose counts exceed its arrays, or whose composite
    // curves nest too deep.
    IntfXmlCurve(const QelCurvedata* rec, const char* name = nullptr);
    // The writer without an object (what the writer constructor does).
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlCurve(IntfXmlElement* parent); // reader
    ~IntfXmlCurve() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    void characters(const char*, unsigned) override {}
    IntfXmlElement* endElement(const char* name) override;
    void EndValue(int slot, std::string_view text, const char* name) override;

    // The record read (null when none, or before the end tag; still owned
    // by the reader).
    virtual const QelCurvedata* GetData() const;
    const QelCurvedata* GetCurveData() const { return GetData(); }
    // Byte copy of the record into *out; the arrays pass to the caller.
    // False (nothing written) when no curve was read or it was taken.
    virtual bool TakeCurveData(QelCurvedata* out);
    // TakeCurveData, or a cleared curve (kind QEL_CURVE_CLEARED, no arrays)
    // when there is no curve to take.
    void TakeCurveOrCleared(QelCurvedata* out);
    // The element must hold a curve: an empty one is refused at its end tag
    // as an element of `holder` (for the message). Returns this.
    IntfXmlCurve* Required(const char* holder) {
        requiredBy_ = holder;
        return this;
    }

protected:
    struct KindTag {};
    // Kind readers: fill the record at `storage`, which lives in the reader.
    IntfXmlCurve(IntfXmlElement* parent, QelCurvedata* storage);
    // Kind writers.
    explicit IntfXmlCurve(KindTag);

    // Marks the record complete (its arrays now belong to it).
    void SetFilled() { filled_ = true; }

    QelCurvedata* record_ = nullptr; // kind readers: their record
    bool filled_ = false;

private:
    IntfXmlCurveSlot slot_;            // the curve element's kind
    const char* requiredBy_ = nullptr; // Required: the holder's name
};

class IntfXmlCurveKind : public IntfXmlCurve {
public:
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    void characters(const char* text, unsigned length) override;
    IntfXmlElement* endElement(const char* name) override;
    void EndValue(int, std::string_view, const char*) override {}
    const QelCurvedata* GetData() const override;
    bool TakeCurveData(QelCurvedata* out) override;

protected:
    explicit IntfXmlCurveKind(IntfXmlElement* parent); // reader
    IntfXmlCurveKind();                                // writer

private:
    QelCurvedata storage_; // the record read (zeroed by the base)
};

// Reader of the kinds of IntfXmlValueCurve.
class IntfXmlValueCurveKind : public IntfXmlCurveKind {
public:
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    void EndValue(int slot, std::string_view text, const char* name) override;

protected:
    IntfXmlValueCurveKind(IntfXmlElement* parent, const char* kind); // reader
    IntfXmlValueCurveKind() = default;                               // writer

private:
    const IntfXmlValueCurve* kind_ = nullptr;
    unsigned seen_ = 0;
};

class IntfXmlPoint : public IntfXmlValueCurveKind {
public:
    IntfXmlPoint(const QelCurvedata* rec, const char* name = nullptr);
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlPoint(IntfXmlElement* parent);
};

class IntfXmlLine : public IntfXmlValueCurveKind {
public:
    IntfXmlLine(const QelCurvedata* rec, const char* name = nullptr);
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlLine(IntfXmlElement* parent);
};

class IntfXmlArc : public IntfXmlValueCurveKind {
public:
    IntfXmlArc(const QelCurvedata* rec, const char* name = nullptr);
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlArc(IntfXmlElement* parent);
};

class IntfXmlEllipse : public IntfXmlValueCurveKind {
public:
    IntfXmlEllipse(const QelCurvedata* rec, const char* name = nullptr);
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlEllipse(IntfXmlElement* parent);
};

// Also the fillet surface's splines ("CenSpl", "PntSpl", "TanSpl").
class IntfXmlSpline : public IntfXmlCurveKind {
public:
    IntfXmlSpline(const QelCurvedata* rec, const char* name = nullptr);
    IntfXmlSpline(const QelSplinedata* spline, const char* name);
    explicit IntfXmlSpline(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    // The spline part of the record; the arrays pass to the caller. False
    // when no complete spline was read or it was taken.
    bool TakeSplineData(QelSplinedata* out);

private:
    void WriteBody(const QelSplinedata& s, const char* name);

    int32_t count_ = -1; // from the first list's "size"
    IntfXmlQelRealSeq* params_ = nullptr;
    IntfXmlQelPntList* points_ = nullptr;
    IntfXmlQelVectorList* tangents_ = nullptr;
};

class IntfXmlBspline : public IntfXmlCurveKind {
public:
    IntfXmlBspline(const QelCurvedata* rec, const char* name = nullptr);
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlBspline(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    void EndValue(int slot, std::string_view text, const char* name) override;

private:
    int32_t degree_ = 0;
    bool haveDegree_ = false;
    IntfXmlQelRealSeq* params_ = nullptr;
    IntfXmlQelRealSeq* weights_ = nullptr;
    IntfXmlQelPntList* points_ = nullptr;
};

class IntfXmlComponent;

// The composite curve ("CompCurve" with its "Components").
class IntfXmlComponents : public IntfXmlCurveKind {
public:
    IntfXmlComponents(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlComponents(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    int32_t count_ = -1; // "size" of "Components"; -1 until it starts
    std::vector<IntfXmlComponent*> components_; // owned as children
};

class IntfXmlComponent : public IntfXmlElement, public IntfXmlWriting {
public:
    IntfXmlComponent(const QelComponentcurvedata* entry, const char* name = nullptr);
    IntfXmlComponent(IntfXmlElement* parent, int32_t direction);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    int32_t GetDirection() const { return direction_; }
    IntfXmlCurve* GetCurve() const { return curve_; }

private:
    int32_t direction_ = 0;
    IntfXmlCurve* curve_ = nullptr;
};

// Nesting of composite curves in a record to be written is limited to this
// depth (a deeper or cyclic record is refused).
constexpr int INTFXML_MAX_CURVE_NESTING = QEL_MAX_HELD_CURVE_NESTING;
