// Face and contour elements.
#include "xml/intfdata/xml_faces.h"

#include "kernel/records/qel_check.h"
#include "kernel/records/qel_routines.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_records.h"
#include "xml/geometry/xml_surfaces.h"

#include <cstring>

using namespace intfxml;

namespace {

// Owns a face record with everything it holds until released.
struct FaceHolder {
    QelSurfacedata* rec = nullptr;
    ~FaceHolder() {
        if (rec)
            qel_surfacedata_free(rec);
    }
};

} // namespace

void IntfXmlFreeContours(QelContourdata*& contours) {
    const int n = xar_count(contours);
    for (int i = 0; i < n; ++i)
        xar_free(contours[i].edge_ids);
    xar_free(contours);
}

// ---- face lists ----------------------------------------------------------------------

IntfXmlFaces::IntfXmlFaces(IntfXmlElement* parent, int32_t count, IntfXmlFacesMode mode,
                           qel_intf_data* target)
    : IntfXmlElement(parent), mode_(mode), count_(count), target_(target) {
    if (mode_ == IntfXmlFacesMode::Append && !target_)
        IntfXmlThrowStatus(QEL_ERR_BAD_ARG, "IntfXmlFaces");
    if (mode_ == IntfXmlFacesMode::Collect) {
        if (count_ < 0)
            count_ = 0;
        refs_ = NewXar<QelSurfacedata*>(10);
    }
}

IntfXmlFaces::~IntfXmlFaces() {
    const int n = xar_count(refs_);
    for (int i = 0; i < n; ++i)
        qel_surfacedata_free(refs_[i]);
    xar_free(refs_);
}

IntfXmlElement* IntfXmlFaces::startElement(const char*, IntfXmlAttributes& attrs) {
    // Every child of a face list is a face, whatever its name.
    const int32_t id = IntAt("ID", attrs, 0, -1, "Face");
    const int32_t orientation = IntAt("orient", attrs, 1, 0, "Face");
    if (mode_ == IntfXmlFacesMode::Append) // the SAX handler disposes of each face
        return MakeChild<IntfXmlFace>(id, orientation);
    // Here a finished face stays with this list: it goes when the next one
    // starts, so a long list keeps one face reader at a time.
    DropChild(current_);
    CheckRoom(xar_count(refs_), count_, "Face", "Faces");
    return current_ = MakeChild<IntfXmlFace>(id, orientation);
}

IntfXmlElement* IntfXmlFaces::endElement(const char*) {
    if (mode_ == IntfXmlFacesMode::Collect && refs_)
        CheckComplete(xar_count(refs_), count_, "Face", "Faces");
    return Parent();
}

void IntfXmlFaces::Add(QelSurfacedata*& rec) {
    if (mode_ == IntfXmlFacesMode::Append) {
        // The interface data takes over what the record holds; only the
        // record block itself is left to release.
        IntfXmlCheck(qel_intf_data_surface_append(target_, rec), "qel_intf_data_surface_append");
        qel_data_free(rec);
        rec = nullptr;
        return;
    }
    if (!refs_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Faces\" received a face after it was taken");
    IntfXmlCheck(xar_append(refs_, 1, &rec), "xar_append");
    rec = nullptr;
}

QelSurfacedata** IntfXmlFaces::TakeArray() {
    QelSurfacedata** refs = refs_;
    refs_ = nullptr;
    return refs;
}

int32_t IntfXmlFaces::GetCount() const { return xar_count(refs_); }

// ---- face ------------------------------------------------------------------------------

IntfXmlFace::IntfXmlFace(const QelSurfacedata* rec, const char* name) { Write(rec, name); }

void IntfXmlFace::Write(const QelSurfacedata* rec, const char* name) {
    if (!rec)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no face record to write");
    IntfXmlRefuseFault(qel_face_fault(*rec));
    const int ncontours = XarCount(rec->contours, sizeof(QelContourdata), "the face's contours");
    StartElement(name ? name : "Face");
    AddAttribute("ID", rec->id);
    AddAttribute("orient", rec->orientation);
    IntfXmlQelUvParam::Write(rec->uv_min, "UvMin");
    IntfXmlQelUvParam::Write(rec->uv_max, "UvMax");
    IntfXmlQel3dPnt::Write(rec->xyz_min, "XYZMin");
    IntfXmlQel3dPnt::Write(rec->xyz_max, "XYZMax");
    IntfXmlSurface::Write(&rec->shape, rec->kind, "Shape");
    if (ncontours != 0) {
        StartElement("Contours");
        AddAttribute("size", int32_t(ncontours));
        for (int i = 0; i < ncontours; ++i)
            IntfXmlContour::Write(&rec->contours[i]);
        EndElement();
    }
    EndElement();
}

IntfXmlFace::IntfXmlFace(IntfXmlFaces* parent, int32_t id, int32_t orientation)
    : IntfXmlElement(parent), list_(parent), id_(id), orientation_(orientation) {
    IntfXmlCheck(qel_surfacedata_alloc(&rec_), "qel_surfacedata_alloc");
}

IntfXmlFace::~IntfXmlFace() {
    if (rec_)
        qel_surfacedata_free(rec_);
}

namespace {
// The value children of a face, by slot: two UV parameters, two points.
const char* const kFaceValues[] = {"UvMin", "UvMax", "XYZMin", "XYZMax"};
} // namespace

namespace {
// Value slot of a contour's "EdgeIds", after the face's own values.
constexpr int kEdgeIdsSlot = 4;
} // namespace

IntfXmlElement* IntfXmlFace::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (inContours_) {
        if (inContour_) {
            contours_.StartEdgeIds(name, attrs, !NamesEmpty());
            return TakeValue(kEdgeIdsSlot);
        }
        contours_.StartContour(name, attrs);
        inContour_ = true;
        return this;
    }
    // Inside a value child nothing is expected, as inside a UV parameter or
    // point element.
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, TopName()[0] == 'U' ? "QelUvParam" : "Qel3dPnt");
    for (int slot = 0; slot < 4; ++slot) {
        if (IntfXmlIsName(name, kFaceValues[slot])) {
            CheckOnce((seen_ & (1u << slot)) ? this : nullptr, name, "Face");
            return TakeValue(slot);
        }
    }
    if (IntfXmlIsName(name, "Shape")) {
        CheckOnce(shape_, name, "Face");
        return shape_ = MakeChild<IntfXmlSurface>();
    }
    if (IntfXmlIsName(name, "Contours")) {
        CheckOnce((seen_ & 16) ? this : nullptr, name, "Face");
        int32_t n = IntAt("size", attrs, 0, 0, "Contours");
        if (n < 0)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Contours\" has a negative size %d", n);
        contours_.Start(n);
        seen_ |= 16;
        inContours_ = true;
        return this;
    }
    IntfXmlThrowUnexpected(name, "Face");
}

void IntfXmlFace::EndValue(int slot, std::string_view text, const char* name) {
    if (slot == kEdgeIdsSlot) {
        contours_.EdgeIds(text, id_);
        return;
    }
    if (slot < 2) {
        // Words 0 and 1; further words are not read (told).
        IntfXmlWords w(text, name);
        double u = w.NextDouble();
        double v = w.NextDouble();
        w.PassOverRest(2);
        uv_[slot][0] = u;
        uv_[slot][1] = v;
    } else {
        IntfXmlParseXyz(text, xyz_[slot - 2], name);
    }
    seen_ |= 1u << slot;
}

IntfXmlElement* IntfXmlFace::endElement(const char*) {
    if (inContours_) {
        if (inContour_) {
            contours_.EndContour();
            inContour_ = false;
        } else {
            contours_.Finish();
            inContours_ = false;
        }
        return this;
    }
    if (!(seen_ & 1))
        IntfXmlThrowMissing("UvMin", "Face");
    if (!(seen_ & 2))
        IntfXmlThrowMissing("UvMax", "Face");
    if (!shape_)
        IntfXmlThrowMissing("Shape", "Face");

    QelSurfaceshapedata shape;
    std::memset(&shape, 0, sizeof shape);
    // An empty "Shape" is a face without a surface: the face keeps a zeroed
    // shape of kind 0.
    int32_t kind = shape_->GetKind();
    if (kind == INTFXML_NO_SURFACE_KIND)
        kind = 0;
    else if (!shape_->TakeData(&shape))
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "the \"Shape\" of face %d holds no surface", id_);
    // The record takes the shape over; when that fails the shape is ours.
    int st = qel_surfacedata_init(uint32_t(kind), uv_[0], uv_[1], orientation_, &shape,
                                  uint32_t(id_), rec_);
    if (st != 0) {
        qel_surfaceshapedata_clear(uint32_t(kind), &shape);
        IntfXmlThrowStatus(st, "qel_surfacedata_init");
    }
    // The box's corners the record holds (zeros) stand for missing ones.
    if (seen_ & 4)
        std::memcpy(rec_->xyz_min, xyz_[0], sizeof rec_->xyz_min);
    else
        IntfXmlTellMissingChild("Face", "XYZMin", "0 0 0");
    if (seen_ & 8)
        std::memcpy(rec_->xyz_max, xyz_[1], sizeof rec_->xyz_max);
    else
        IntfXmlTellMissingChild("Face", "XYZMax", "0 0 0");
    if (seen_ & 16) {
        QelContourdata* contours = contours_.Take();
        if (contours) {
            // The record gets its own copy of the array and takes over the
            // edge-id arrays; our array block is released either way.
            st = qel_surfacedata_contours_set(rec_, contours);
            if (st != 0)
                IntfXmlFreeContours(contours);
            else
                xar_free(contours);
            IntfXmlCheck(st, "qel_surfacedata_contours_set");
        }
    }
    // What the writers would refuse is read as it stands, and told.
    IntfXmlTellReadFault(qel_face_fault(*rec_), IntfXmlPassed::FaceFault);
    if (list_)
        list_->Add(rec_);
    return Parent();
}

// ---- contours ----------------------------------------------------------------------------

IntfXmlContourList::~IntfXmlContourList() { IntfXmlFreeContours(contours_); }

void IntfXmlContourList::Start(int32_t count) {
    count_ = count < 0 ? 0 : count;
    IntfXmlFreeContours(contours_);
    contours_ = NewXar<QelContourdata>(4);
}

void IntfXmlContourList::StartContour(const char* name, IntfXmlAttributes& attrs) {
    if (!IntfXmlIsName(name, "Contour"))
        IntfXmlThrowUnexpected(name, "Contours");
    if (!contours_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Contours\" received a contour after it was taken");
    CheckRoom(xar_count(contours_), count_, "Contour", "Contours");
    const int32_t traversal = IntAt("traversal", attrs, 0, 0, "Contour");
    const int index = XarAppendZero(contours_, 4);
    IntfXmlCheck(qel_contourdata_traversal_set(traversal, &contours_[index]),
                 "qel_contourdata_traversal_set");
    haveIds_ = false;
}

void IntfXmlContourList::StartEdgeIds(const char* name, IntfXmlAttributes& attrs, bool inValue) {
    if (!IntfXmlIsName(name, "EdgeIds"))
        IntfXmlThrowUnexpected(name, "Contour");
    if (haveIds_ || inValue)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"EdgeIds\" appears twice in \"Contour\"");
    // Without "size" no id is read, whatever the text holds.
    idCount_ = IntAt("size", attrs, 0, 0, "EdgeIds");
    if (idCount_ < 0)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"EdgeIds\" has a negative size %d", idCount_);
}

void IntfXmlContourList::EdgeIds(std::string_view text, int32_t faceId) {
    const int index = xar_count(contours_) - 1;
    int32_t* ids = IntfXmlReadIntSeq(text, idCount_, "EdgeIds", [faceId, index] {
        return "face " + std::to_string(faceId) + ", its contour at index " + std::to_string(index);
    });
    QelContourdata& contour = contours_[index];
    xar_free(contour.edge_ids);
    contour.edge_ids = ids;
    haveIds_ = true;
}

void IntfXmlContourList::EndContour() {
    if (!haveIds_)
        IntfXmlThrowMissing("EdgeIds", "Contour");
}

void IntfXmlContourList::Finish() const {
    if (contours_)
        CheckComplete(xar_count(contours_), count_, "Contour", "Contours");
}

QelContourdata* IntfXmlContourList::Take() {
    QelContourdata* c = contours_;
    contours_ = nullptr;
    return c;
}

IntfXmlContour::IntfXmlContour(const QelContourdata* rec, const char* name) { Write(rec, name); }

void IntfXmlContour::Write(const QelContourdata* rec, const char* name) {
    if (!rec)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no contour record to write");
    const int n = XarCount(rec->edge_ids, sizeof(int32_t), "the contour's edge ids");
    StartElement(name ? name : "Contour");
    AddAttribute("traversal", rec->traversal);
    IntfXmlQelIntSeq::Write(rec->edge_ids, n, "EdgeIds");
    EndElement();
}
