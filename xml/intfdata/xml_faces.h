// Face and contour elements.
//
//   "Face" ID=id orient=o       "UvMin", "UvMax" (UV texts), "XYZMin",
//                               "XYZMax" (point texts), "Shape" (surface
//                               element), ["Contours" size=n { "Contour" ...}]
//   "Contour" traversal=t       "EdgeIds" size=k (text: the k edge ids)
//
// Face lists: under "QelIntfData" the "Faces" element has no size and each
// finished face is appended to the interface data (append mode); under a
// "Quilt" it carries "size" and its faces are collected as references that
// the quilt takes over (collect mode).
//
// Reading is strict about structure: a face needs "UvMin", "UvMax" and a
// "Shape" holding a known surface kind or nothing (an empty "Shape", as a
// face of kind 0 is written and as earlier writers wrote a surface kind
// without an element, reads as a zeroed shape of kind 0, which gives no
// surface object), a contour needs exactly one "EdgeIds", counts must
// agree with "size", and any other child is an error (IntfXmlError). A
// face the writers would refuse (qel_face_fault) is read as it stands and
// told at its end tag; the writers refuse a face of a kind without an
// element other than 0, which would read back as kind 0. Missing "ID",
// "orient" and "traversal" attributes read as -1, 0 and 0; a missing "size" reads as 0. A reader owns the
// records it fills until they are handed over, so nothing leaks when a
// document fails half-way.
#pragma once

#include "api/qel_records.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_writer.h"

#include <cstdint>

class IntfXmlSurface;

// The contours of a face ("Contours" size=n { "Contour" traversal=t
// { "EdgeIds" size=k } }) as they are read, for the contour list reader and
// for faces that read their contours in place. Owns the contour array and
// the edge-id arrays in it until taken.
class IntfXmlContourList {
public:
    IntfXmlContourList() = default;
    IntfXmlContourList(const IntfXmlContourList&) = delete;
    IntfXmlContourList& operator=(const IntfXmlContourList&) = delete;
    ~IntfXmlContourList();

    // A list of `count` contours starts (a negative count reads as 0).
    void Start(int32_t count);
    // A child of the list starts: it must be a "Contour" with room left.
    void StartContour(const char* name, IntfXmlAttributes& attrs);
    // A child of the contour starts: it must be its one "EdgeIds", and not
    // inside a value (`inValue`); reads its "size".
    void StartEdgeIds(const char* name, IntfXmlAttributes& attrs, bool inValue);
    // The ids of the "EdgeIds" that ended: exactly its size of them (ids
    // past it are told, naming the contour of face `faceId`).
    void EdgeIds(std::string_view text, int32_t faceId);
    // The contour's end tag: it needs its "EdgeIds".
    void EndContour();
    // The list's end tag: as many contours as announced.
    void Finish() const;
    // The contours read (an xar, never null once started); the caller owns
    // the array and the edge-id arrays in it. Null once taken.
    QelContourdata* Take();

private:
    int32_t count_ = 0;
    QelContourdata* contours_ = nullptr;
    int32_t idCount_ = 0;   // "size" of the current "EdgeIds"
    bool haveIds_ = false;  // the current contour has its "EdgeIds"
};

enum class IntfXmlFacesMode {
    Append,  // each face is appended to the interface data
    Collect, // faces are collected as references (a quilt's faces)
};

class IntfXmlFaces : public IntfXmlElement, public IntfXmlWriting {
public:
    // Reader. Append mode: `target` receives the faces and `count` is -1.
    // Collect mode: `count` is the announced number of faces (>= 0) and
    // `target` is null.
    IntfXmlFaces(IntfXmlElement* parent, int32_t count, IntfXmlFacesMode mode,
                 qel_intf_data* target);
    ~IntfXmlFaces() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    // Its own text (whitespace between children) is not used.
    void characters(const char*, unsigned) override {}
    bool IsListHandler() const override { return mode_ == IntfXmlFacesMode::Append; }

    // Takes over a finished face record (see IntfXmlFace).
    void Add(QelSurfacedata*& rec);
    // Collect mode: the references collected (an xar of face pointers, never
    // null); the caller owns the array and the faces. Null once taken.
    QelSurfacedata** TakeArray();
    // Collect mode: the references collected so far (still owned here).
    QelSurfacedata* const* GetArray() const { return refs_; }
    int32_t GetCount() const;

private:
    IntfXmlFacesMode mode_;
    int32_t count_;
    qel_intf_data* target_;
    QelSurfacedata** refs_ = nullptr; // collect mode: owned until taken
    IntfXmlElement* current_ = nullptr; // collect mode: the latest face reader
};

class IntfXmlFace : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer: the face record as an element named `name` (default "Face").
    IntfXmlFace(const QelSurfacedata* rec, const char* name = nullptr);
    // The writer without an object (what the writer constructor does).
    static void Write(const QelSurfacedata* rec, const char* name = nullptr);
    // Reader of one face of a face list.
    IntfXmlFace(IntfXmlFaces* parent, int32_t id, int32_t orientation);
    ~IntfXmlFace() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    // Its own text (whitespace between children) is not used.
    void characters(const char*, unsigned) override {}
    void EndValue(int slot, std::string_view text, const char* name) override;

private:
    IntfXmlFaces* list_ = nullptr;
    QelSurfacedata* rec_ = nullptr; // owned with all it holds until handed over
    int32_t id_ = -1;
    int32_t orientation_ = 0;
    // "UvMin", "UvMax", "XYZMin", "XYZMax": read as values.
    double uv_[2][2] = {{0, 0}, {0, 0}};
    double xyz_[2][3] = {{0, 0, 0}, {0, 0, 0}};
    unsigned seen_ = 0; // bit i: value i arrived; bit 4: "Contours"
    IntfXmlSurface* shape_ = nullptr;
    // "Contours", read in place.
    IntfXmlContourList contours_;
    bool inContours_ = false;
    bool inContour_ = false;
};

// Writer of one contour; contours are read in place by the contour list
// (IntfXmlContourList).
class IntfXmlContour : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer (default name "Contour").
    IntfXmlContour(const QelContourdata* rec, const char* name = nullptr);
    static void Write(const QelContourdata* rec, const char* name = nullptr);
};

// Frees an xar of contours with the edge-id arrays they hold; the handle
// becomes null.
void IntfXmlFreeContours(QelContourdata*& contours);
