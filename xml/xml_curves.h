// Curve elements: one "Curve" element (under the caller's name) whose single
// child names the kind:
//   "Point"     Position
//   "Line"      Start, End
//   "Arc"       Vector1, Vector2, Origin, StartAngle, EndAngle, Radius
//   "Spline"    Params (QelRealSeq), Points (QelPntList), Tangents (QelVectorList)
//   "Bspline"   Degree, Params, [Weights], CPoints
//   "Ellipse"   Center, MajorAxis, MinorAxis, MajorLen, MinorLen, StartAngle, EndAngle
//   "CompCurve" Components size=n { Component dir=d { Curve } ... }
// A record of another kind (the host kinds 10, 40 and 56 among them) has no
// element: it is written as an empty "Curve".
//
// Reading: IntfXmlCurve(parent) reads a "Curve" of any name. After its end
// tag the consumer takes the record with TakeCurveData, which hands over the
// record's arrays as well; a curve not taken is freed with the reader. An
// empty "Curve" (no kind element) reads as no curve: TakeCurveData answers
// false, so an edge gets a null curve, and TakeCurveOrCleared gives a
// cleared curve (kind QEL_CURVE_CLEARED) where a record holds its curve by
// value (profiles, composite components, datum curves). So every document
// the writer makes reads back. Every kind element must be complete, with
// list counts that agree, or the reader throws IntfXmlError.
#pragma once

#include "kernel/qel_records.h"
#include "xml/xml_element.h"
#include "xml/xml_geometry.h"
#include "xml/xml_writer.h"

class IntfXmlCurveKind;

class ZPI_API IntfXmlCurve : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writes the curve as an element named `name` (default "Curve"). Throws
    // IntfXmlError (INTFXML_ERR_RECORD) for a record whose counts exceed its
    // arrays, or whose composite curves nest too deep.
    IntfXmlCurve(const QelCurvedata* rec, const char* name = nullptr);
    // The writer without an object (what the writer constructor does).
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlCurve(IntfXmlElement* parent); // reader
    ~IntfXmlCurve() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    void characters(const char*, unsigned) override {}
    IntfXmlElement* endElement(const char* name) override;

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
    IntfXmlCurveKind* kind_ = nullptr; // current kind reader (owned as child)
};

class ZPI_API IntfXmlCurveKind : public IntfXmlCurve {
public:
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    void characters(const char* text, unsigned length) override;
    IntfXmlElement* endElement(const char* name) override;
    const QelCurvedata* GetData() const override;
    bool TakeCurveData(QelCurvedata* out) override;

protected:
    explicit IntfXmlCurveKind(IntfXmlElement* parent); // reader
    IntfXmlCurveKind();                                // writer
    // Name check for kinds whose children are texts: takes a known name (any
    // name without a list) as a value in the slot of its index.
    IntfXmlElement* TakeKnown(const char* name, const char* const* known, const char* self);

private:
    QelCurvedata storage_; // the record read (zeroed by the base)
};

class ZPI_API IntfXmlPoint : public IntfXmlCurveKind {
public:
    IntfXmlPoint(const QelCurvedata* rec, const char* name = nullptr);
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlPoint(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    void EndValue(int slot, std::string_view text, const char* name) override;

private:
    double pos_[3] = {0, 0, 0};
    unsigned seen_ = 0;
};

class ZPI_API IntfXmlLine : public IntfXmlCurveKind {
public:
    IntfXmlLine(const QelCurvedata* rec, const char* name = nullptr);
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlLine(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    void EndValue(int slot, std::string_view text, const char* name) override;

private:
    double start_[3] = {0, 0, 0};
    double end_[3] = {0, 0, 0};
    unsigned seen_ = 0;
};

class ZPI_API IntfXmlArc : public IntfXmlCurveKind {
public:
    IntfXmlArc(const QelCurvedata* rec, const char* name = nullptr);
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlArc(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    void EndValue(int slot, std::string_view text, const char* name) override;

private:
    QelArcdata arc_{};
    unsigned seen_ = 0;
};

class ZPI_API IntfXmlEllipse : public IntfXmlCurveKind {
public:
    IntfXmlEllipse(const QelCurvedata* rec, const char* name = nullptr);
    static void Write(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlEllipse(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    void EndValue(int slot, std::string_view text, const char* name) override;

private:
    QelEllipsedata ell_{};
    unsigned seen_ = 0;
};

// Also the fillet surface's splines ("CenSpl", "PntSpl", "TanSpl").
class ZPI_API IntfXmlSpline : public IntfXmlCurveKind {
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

class ZPI_API IntfXmlBspline : public IntfXmlCurveKind {
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
class ZPI_API IntfXmlComponents : public IntfXmlCurveKind {
public:
    IntfXmlComponents(const QelCurvedata* rec, const char* name = nullptr);
    explicit IntfXmlComponents(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    int32_t count_ = -1; // "size" of "Components"; -1 until it starts
    bool inComponents_ = false;
    bool componentsDone_ = false;
    std::vector<IntfXmlComponent*> components_; // owned as children
};

class ZPI_API IntfXmlComponent : public IntfXmlElement, public IntfXmlWriting {
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
constexpr int INTFXML_MAX_CURVE_NESTING = 32;
