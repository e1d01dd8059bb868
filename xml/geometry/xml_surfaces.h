// Surface elements: one surface element (under the caller's name, "Shape"
// for faces) whose single child names the kind; the kind code itself lies
// outside the shape record and is passed to the writer:
//   34 "Plane"       Csys
//   36 "Cylinder"    Csys, Radius
//   37 "Cone"        Csys, HalfAng
//   38 "Torus"       Csys, Radius1, Radius2
//   40 "SplSrf"      UParams, VParams, Points, UTangents, VTangents, UVDerivs
//   41 "FilletSrf"   CenSpl, PntSpl, TanSpl (spline elements)
//   42 "RuledSrf"    Csys, Curve1, Curve2
//   43 "SrfRevolved" Csys, Curve
//   44 "TabCyl"      Csys, Curve
//   45 "BsplSrf"     UVDegree, UParams, VParams, [Weights], Points
//   48 "CylSplSrf"   CylCsys, SplSrf
// Kind 0 (a face without a surface, as a reader gives an empty element)
// is written as an empty element; any other code is refused, as it would
// read back as kind 0.
//
// Reading: IntfXmlSurface(parent) reads a surface element of any name.
// After its end tag GetKind() gives the kind code (-3 when no kind element
// came) and TakeData copies the shape record out, handing over its arrays
// and curves; a shape not taken is freed with the reader. Every kind element
// must be complete, with list counts that agree, or the reader throws
// IntfXmlError; so is a "Curve", "Curve1" or "Curve2" that is empty (no
// surface can use a curve of a kind without an element).
#pragma once

#include "api/qel_records.h"
#include "xml/geometry/xml_curves.h"
#include "xml/framework/xml_element.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_writer.h"

class IntfXmlSurfaceKind;

constexpr int32_t INTFXML_NO_SURFACE_KIND = -3;

class IntfXmlSurface : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writes the shape of kind `kind` as an element named `name` (default
    // "Surface"). Throws IntfXmlError (INTFXML_ERR_RECORD) for a kind
    // without an element other than 0 and for a record whose counts exceed
    // its arrays.
    IntfXmlSurface(const QelSurfaceshapedata* shape, uint32_t kind, const char* name = nullptr);
    // The writer without an object (what the writer constructor does).
    static void Write(const QelSurfaceshapedata* shape, uint32_t kind, const char* name = nullptr);
    explicit IntfXmlSurface(IntfXmlElement* parent); // reader
    ~IntfXmlSurface() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    void characters(const char*, unsigned) override {}
    IntfXmlElement* endElement(const char* name) override;

    int32_t GetKind() const { return kindCode_; }
    // The shape read (null when none or before the end tag; still owned by
    // the reader).
    virtual const QelSurfaceshapedata* GetData() const;
    // Byte copy of the shape into *out; its arrays and curves pass to the
    // caller. False (nothing written) when no shape was read or it was
    // taken.
    virtual bool TakeData(QelSurfaceshapedata* out);

protected:
    struct KindTag {};
    // Kind readers: fill the record at `storage`, which lives in the reader.
    IntfXmlSurface(IntfXmlElement* parent, QelSurfaceshapedata* storage);
    explicit IntfXmlSurface(KindTag);                // kind writers

    void SetFilled() { filled_ = true; }

    QelSurfaceshapedata* record_ = nullptr;
    bool filled_ = false;
    int32_t kindCode_ = INTFXML_NO_SURFACE_KIND;

private:
    IntfXmlSurfaceKind* kind_ = nullptr; // owned as a child
};

class IntfXmlSurfaceKind : public IntfXmlSurface {
public:
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    void characters(const char* text, unsigned length) override;
    IntfXmlElement* endElement(const char* name) override;
    const QelSurfaceshapedata* GetData() const override;
    bool TakeData(QelSurfaceshapedata* out) override;

protected:
    IntfXmlSurfaceKind(IntfXmlElement* parent, int32_t code); // reader
    IntfXmlSurfaceKind();                                    // writer

private:
    QelSurfaceshapedata storage_; // the record read (zeroed by the base)
};

// Plane, cylinder, cone and torus: a "Csys" and up to two numbers.
class IntfXmlCsysSurface : public IntfXmlSurfaceKind {
public:
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    void EndValue(int slot, std::string_view text, const char* name) override;

protected:
    // `numbers` names the number children (null-terminated list).
    IntfXmlCsysSurface(IntfXmlElement* parent, int32_t code, const char* self,
                       const char* const* numbers);
    IntfXmlCsysSurface() = default;
    // Fills the record from the frame and the numbers read.
    virtual void Store(const QelFrame& frame, const double* numbers) = 0;

private:
    const char* self_ = "";
    const char* const* numberNames_ = nullptr;
    double numbers_[2] = {0, 0};
    unsigned seen_ = 0;
    // The "Csys", read in place.
    IntfXmlCsysValues csys_;
    bool haveCsys_ = false;
    bool inCsys_ = false;
};

class IntfXmlPlane : public IntfXmlCsysSurface {
public:
    explicit IntfXmlPlane(const QelSurfaceshapedata* shape); // writer
    explicit IntfXmlPlane(const QelFrame& frame);            // writer (datum planes)
    static void Write(const QelFrame& frame);
    explicit IntfXmlPlane(IntfXmlElement* parent);           // reader
    // The plane's frame once read (null before).
    const QelFrame* GetFrame() const;

protected:
    void Store(const QelFrame& frame, const double* numbers) override;
};

class IntfXmlCylinder : public IntfXmlCsysSurface {
public:
    explicit IntfXmlCylinder(const QelSurfaceshapedata* shape);
    static void Write(const QelSurfaceshapedata* shape);
    explicit IntfXmlCylinder(IntfXmlElement* parent);

protected:
    void Store(const QelFrame& frame, const double* numbers) override;
};

class IntfXmlCone : public IntfXmlCsysSurface {
public:
    explicit IntfXmlCone(const QelSurfaceshapedata* shape);
    static void Write(const QelSurfaceshapedata* shape);
    explicit IntfXmlCone(IntfXmlElement* parent);

protected:
    void Store(const QelFrame& frame, const double* numbers) override;
};

class IntfXmlTorus : public IntfXmlCsysSurface {
public:
    explicit IntfXmlTorus(const QelSurfaceshapedata* shape);
    static void Write(const QelSurfaceshapedata* shape);
    explicit IntfXmlTorus(IntfXmlElement* parent);

protected:
    void Store(const QelFrame& frame, const double* numbers) override;
};

// Surfaces of revolution and tabulated cylinders: "Csys" and "Curve".
class IntfXmlCsysCurveSurface : public IntfXmlSurfaceKind {
public:
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

protected:
    IntfXmlCsysCurveSurface(IntfXmlElement* parent, int32_t code, const char* self);
    IntfXmlCsysCurveSurface(const QelSurfaceshapedata* shape, const char* self);

private:
    const char* self_ = "";
    IntfXmlCsys* csys_ = nullptr;
    IntfXmlCurve* curve_ = nullptr;
};

class IntfXmlSrfRevolved : public IntfXmlCsysCurveSurface {
public:
    explicit IntfXmlSrfRevolved(const QelSurfaceshapedata* shape);
    explicit IntfXmlSrfRevolved(IntfXmlElement* parent);
};

class IntfXmlTabCyl : public IntfXmlCsysCurveSurface {
public:
    explicit IntfXmlTabCyl(const QelSurfaceshapedata* shape);
    explicit IntfXmlTabCyl(IntfXmlElement* parent);
};

class IntfXmlRuledSrf : public IntfXmlSurfaceKind {
public:
    explicit IntfXmlRuledSrf(const QelSurfaceshapedata* shape);
    explicit IntfXmlRuledSrf(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    IntfXmlCsys* csys_ = nullptr;
    IntfXmlCurve* curve1_ = nullptr;
    IntfXmlCurve* curve2_ = nullptr;
};

class IntfXmlFilletSrf : public IntfXmlSurfaceKind {
public:
    explicit IntfXmlFilletSrf(const QelSurfaceshapedata* shape);
    explicit IntfXmlFilletSrf(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    IntfXmlSpline* center_ = nullptr;
    IntfXmlSpline* point_ = nullptr;
    IntfXmlSpline* tangent_ = nullptr;
};

class IntfXmlSplSrf : public IntfXmlSurfaceKind {
public:
    IntfXmlSplSrf(const QelSplinesrfdata* spline, const char* name = nullptr); // writer
    explicit IntfXmlSplSrf(IntfXmlElement* parent);                           // reader
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    // The spline surface part; its arrays pass to the caller. False when
    // none was read or it was taken.
    bool TakeSplineSrf(QelSplinesrfdata* out);

private:
    IntfXmlQelRealSeq* uParams_ = nullptr;
    IntfXmlQelRealSeq* vParams_ = nullptr;
    IntfXmlQelPntList* points_ = nullptr;
    IntfXmlQelPntList* uTangents_ = nullptr;
    IntfXmlQelPntList* vTangents_ = nullptr;
    IntfXmlQelPntList* derivs_ = nullptr;
};

class IntfXmlBsplSrf : public IntfXmlSurfaceKind {
public:
    explicit IntfXmlBsplSrf(const QelSurfaceshapedata* shape);
    static void Write(const QelSurfaceshapedata* shape);
    explicit IntfXmlBsplSrf(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    void EndValue(int slot, std::string_view text, const char* name) override;

    ~IntfXmlBsplSrf() override;

private:
    int32_t degrees_[2] = {0, 0};
    bool haveDegrees_ = false;
    // "UParams", "VParams", "Weights": read as values, each the count of
    // its "size" and the array read (null until it came).
    int32_t counts_[3] = {0, 0, 0};
    double* sequences_[3] = {nullptr, nullptr, nullptr};
    // "Points", read in place.
    IntfXmlPointItems points_;
    bool havePoints_ = false;
    bool inPoints_ = false;
};

class IntfXmlCylSplSrf : public IntfXmlSurfaceKind {
public:
    explicit IntfXmlCylSplSrf(const QelSurfaceshapedata* shape);
    explicit IntfXmlCylSplSrf(IntfXmlElement* parent);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    IntfXmlCsys* csys_ = nullptr;
    IntfXmlSplSrf* spline_ = nullptr;
};
