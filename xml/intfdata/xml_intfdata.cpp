// The interface-data element and its quilts.
#include "xml/intfdata/xml_intfdata.h"

#include "kernel/records/qel_check.h"
#include "kernel/records/qel_routines.h"
#include "xml/intfdata/xml_edges.h"
#include "xml/intfdata/xml_faces.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_records.h"
#include "xml/framework/xml_writer.h"

#include <cstring>
#include <string>

using namespace intfxml;

namespace {

// Writes one list of the root: the `count` entries of `har`, each read in
// place and written by the binding W's Write, inside an element `listName` (only
// when not empty). The count is 0 unless the array holds Rec entries. What
// an entry's writer refuses is refused naming the entry (when its refusal
// does not begin with it).
template <class Rec, class W, class Count>
void WriteRootList(const qel_intf_data* rec, const void* har, const char* listName, Count count,
                   const char* countName) {
    int32_t n = 0;
    IntfXmlCheck(count(rec, &n), countName);
    if (n == 0)
        return;
    IntfXmlWriting::StartElement(listName);
    for (int32_t i = 0; i < n; ++i) {
        const Rec* entry = static_cast<const Rec*>(har_access(har, i, nullptr, nullptr));
        if (!entry) {
            W::Write(entry, nullptr);
            continue;
        }
        IntfXmlWriteNaming([&] { W::Write(entry, nullptr); }, [&] { return qel_item_name(*entry); });
    }
    IntfXmlWriting::EndElement();
}

} // namespace

// ---- root --------------------------------------------------------------------------------

IntfXmlQelIntfData::IntfXmlQelIntfData(const qel_intf_data* rec, const char* name) {
    if (!rec)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no interface data to write");
    // What no model holds would not read back as it is, or not at all:
    // refused before anything is written, naming the item.
    IntfXmlRefuseFault(qel_intf_data_fault(rec));
    StartElement(name ? name : "QelIntfData");
    StartElement("Accuracy");
    AddAttribute("type", rec->accuracy_type);
    AddAttribute("value", rec->accuracy);
    EndElement();
    IntfXmlOutline{rec->outline};
    WriteRootList<QelSurfacedata, IntfXmlFace>(rec, rec->surfaces, "Faces",
                                               qel_intf_data_surface_count,
                                               "qel_intf_data_surface_count");
    WriteRootList<QelQuiltdata, IntfXmlQuilt>(rec, rec->quilts, "Quilts",
                                              qel_intf_data_quilt_count,
                                              "qel_intf_data_quilt_count");
    WriteRootList<QelEdgedata, IntfXmlEdge>(rec, rec->edges, "Edges", qel_intf_data_edge_count,
                                            "qel_intf_data_edge_count");
    WriteRootList<QelDatumdata, IntfXmlDatum>(rec, rec->datums, "Datums",
                                              qel_intf_data_datum_count,
                                              "qel_intf_data_datum_count");
    EndElement();
}

IntfXmlQelIntfData::IntfXmlQelIntfData(IntfXmlElement* parent) : IntfXmlElement(parent) {
    IntfXmlCheck(qel_intf_data_alloc(&data_), "qel_intf_data_alloc");
}

IntfXmlQelIntfData::~IntfXmlQelIntfData() {
    // Readers still alive below this one hold records of their own, never
    // parts of this one, so the order of release does not matter.
    if (data_)
        qel_intf_data_free(data_);
}

IntfXmlElement* IntfXmlQelIntfData::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (!data_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"QelIntfData\" continues after it was taken");
    if (IntfXmlIsName(name, "Accuracy")) {
        IntfXmlSeeOnce(haveAccuracy_, name, "QelIntfData");
        // Each attribute only at its own position; a missing one leaves the
        // field as the fresh record holds it, told.
        if (IntfXmlHasAttrib("type", attrs, 0))
            data_->accuracy_type = uint32_t(IntfXmlRequireInt("type", attrs, 0, "Accuracy"));
        else
            IntfXmlTellMissingAttrib("Accuracy", "type", 0,
                                     std::to_string(data_->accuracy_type).c_str());
        if (IntfXmlHasAttrib("value", attrs, 1)) {
            data_->accuracy = IntfXmlRequireDouble("value", attrs, 1, "Accuracy");
        } else {
            char value[32];
            *IntfXmlFormatDouble(value, data_->accuracy) = '\0';
            IntfXmlTellMissingAttrib("Accuracy", "value", 1, value);
        }
        PushName(name);
        return this;
    }
    if (!NamesEmpty()) // nothing belongs inside "Accuracy"
        IntfXmlThrowUnexpected(name, TopName().c_str());
    if (IntfXmlIsName(name, "Outline")) {
        CheckOnce(outline_, name, "QelIntfData");
        return outline_ = MakeChild<IntfXmlOutline>();
    }
    // The lists are list readers: the SAX handler disposes of each at its
    // end tag, so no pointer to them is kept.
    if (IntfXmlIsName(name, "Faces"))
        return MakeChild<IntfXmlFaces>(int32_t(-1), IntfXmlFacesMode::Append, data_);
    if (IntfXmlIsName(name, "Quilts"))
        return MakeChild<IntfXmlQuilts>(data_);
    if (IntfXmlIsName(name, "Edges"))
        return MakeChild<IntfXmlEdges>(data_);
    if (IntfXmlIsName(name, "Datums"))
        return MakeChild<IntfXmlDatums>(data_);
    IntfXmlThrowUnexpected(name, "QelIntfData");
}

IntfXmlElement* IntfXmlQelIntfData::endElement(const char* name) {
    if (!NamesEmpty()) {
        IntfXmlTellTextNotRead(name, Text()); // "Accuracy" is its attributes
        PopName(name);
        return this;
    }
    if (outline_ && data_)
        IntfXmlCheck(qel_intf_data_outline_set(data_, outline_->GetOutline()),
                     "qel_intf_data_outline_set");
    // What the fresh record holds stands for a missing one.
    if (!haveAccuracy_ && data_) {
        char value[32];
        *IntfXmlFormatDouble(value, data_->accuracy) = '\0';
        IntfXmlTellMissingChild(
            "QelIntfData", "Accuracy",
            ("type " + std::to_string(data_->accuracy_type) + ", value " + value).c_str());
    }
    if (!outline_)
        IntfXmlTellMissingChild("QelIntfData", "Outline", "0 0 0 and 0 0 0");
    return Parent();
}

// ---- quilts ------------------------------------------------------------------------------

IntfXmlQuilts::IntfXmlQuilts(IntfXmlElement* parent, qel_intf_data* target)
    : IntfXmlElement(parent), target_(target) {
    if (!target_)
        IntfXmlThrowStatus(QEL_ERR_BAD_ARG, "IntfXmlQuilts");
}

IntfXmlElement* IntfXmlQuilts::startElement(const char*, IntfXmlAttributes& attrs) {
    // Every child of "Quilts" is a quilt, whatever its name.
    return MakeChild<IntfXmlQuilt>(target_, IntAt("ID", attrs, 0, -1, "Quilt"));
}

IntfXmlElement* IntfXmlQuilts::endElement(const char*) { return Parent(); }

IntfXmlQuilt::IntfXmlQuilt(const QelQuiltdata* rec, const char* name) { Write(rec, name); }

void IntfXmlQuilt::Write(const QelQuiltdata* rec, const char* name) {
    if (!rec)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no quilt record to write");
    IntfXmlRefuseFault(qel_quilt_fault(*rec));
    const int n = XarCount(rec->faces, sizeof(QelSurfacedata*), "the quilt's faces");
    StartElement(name ? name : "Quilt");
    AddAttribute("ID", rec->id);
    StartElement("Faces");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i)
        IntfXmlFace::Write(rec->faces[i]);
    EndElement();
    EndElement();
}

IntfXmlQuilt::IntfXmlQuilt(IntfXmlQuilts* parent, qel_intf_data* target, int32_t id)
    : IntfXmlElement(parent), target_(target) {
    IntfXmlCheck(qel_quiltdata_alloc(&rec_), "qel_quiltdata_alloc");
    IntfXmlCheck(qel_contourdata_traversal_set(id, rec_), "qel_contourdata_traversal_set");
}

IntfXmlQuilt::~IntfXmlQuilt() {
    if (rec_)
        qel_quiltdata_free(rec_);
}

IntfXmlElement* IntfXmlQuilt::startElement(const char*, IntfXmlAttributes& attrs) {
    // The one child of a quilt is its face list, whatever its name.
    CheckOnce(faces_, "Faces", "Quilt");
    const int32_t n = IntfXmlRequireSize(attrs, "Faces");
    return faces_ = MakeChild<IntfXmlFaces>(n, IntfXmlFacesMode::Collect,
                                            static_cast<qel_intf_data*>(nullptr));
}

IntfXmlElement* IntfXmlQuilt::endElement(const char*) {
    // A quilt without its face list is a quilt without faces.
    QelSurfacedata** faces = faces_ ? faces_->TakeArray() : nullptr;
    if (!faces) {
        faces = static_cast<QelSurfacedata**>(xar_alloc(0, int(sizeof(QelSurfacedata*)), 4));
        if (!faces)
            IntfXmlThrowStatus(QEL_ERR_NO_MEMORY, "xar_alloc");
    }
    // The quilt record copies the references and owns the faces from now
    // on; our reference array goes either way.
    const int st = qel_quiltdata_surfaces_set(rec_, faces);
    if (st != 0) {
        const int n = xar_count(faces);
        for (int i = 0; i < n; ++i)
            qel_surfacedata_free(faces[i]);
    }
    xar_free(faces);
    IntfXmlCheck(st, "qel_quiltdata_surfaces_set");
    IntfXmlCheck(qel_intf_data_quilt_append(target_, rec_), "qel_intf_data_quilt_append");
    qel_data_free(rec_);
    rec_ = nullptr;
    return Parent();
}
