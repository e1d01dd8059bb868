// The interface-data element "QelIntfData" and its quilts.
//
//   "QelIntfData"  "Accuracy" type=t value=v, "Outline",
//                  ["Faces" { "Face" ... }], ["Quilts" { "Quilt" ... }],
//                  ["Edges" { "Edge" ... }], ["Datums" { "Datum" ... }]
//   "Quilt" ID=id  "Faces" size=n { "Face" ... } (complete faces)
//
// The list elements are written only when the record has such items; a
// quilt's "Faces" always, with its size.
//
// Reading: the reader allocates a fresh qel_intf_data and owns it (with
// everything appended to it) until Detach; GetData only looks at it. A
// record still held when the reader is destroyed is freed, so a document
// that fails half-way leaks nothing. "Accuracy" attributes missing at their
// position leave the fields at 0; a "QelIntfData" without "Outline" keeps a
// zero outline; a quilt without "ID" gets -1. Other children are errors.
#pragma once

#include "api/qel_records.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_writer.h"

#include <cstdint>

class IntfXmlOutline;
class IntfXmlFaces;

class IntfXmlQelIntfData : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer: the whole element (null name: "QelIntfData"). Throws
    // IntfXmlError (INTFXML_ERR_RECORD) before anything is written for
    // records no model holds (qel_intf_data_fault, naming the item), and
    // for a record that does not hold what its type says (naming the face,
    // quilt, edge or datum). The name has no default so that a one-argument
    // call is the reader.
    IntfXmlQelIntfData(const qel_intf_data* rec, const char* name);
    // Reader.
    explicit IntfXmlQelIntfData(IntfXmlElement* parent);
    ~IntfXmlQelIntfData() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    bool IsDocumentPart() const override { return true; }

    // The record read (still owned by the reader); null after Detach.
    qel_intf_data* GetData() const { return data_; }
    // Forgets the record: the caller that took it with GetData owns it and
    // frees it with qel_intf_data_free.
    void Detach() { data_ = nullptr; }

private:
    qel_intf_data* data_ = nullptr;
    IntfXmlOutline* outline_ = nullptr;
    bool haveAccuracy_ = false;
};

class IntfXmlQuilts : public IntfXmlElement {
public:
    IntfXmlQuilts(IntfXmlElement* parent, qel_intf_data* target);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    bool IsListHandler() const override { return true; }

private:
    qel_intf_data* target_;
};

class IntfXmlQuilt : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer (default name "Quilt").
    IntfXmlQuilt(const QelQuiltdata* rec, const char* name = nullptr);
    // The writer without an object (what the writer constructor does).
    static void Write(const QelQuiltdata* rec, const char* name = nullptr);
    // Reader; the finished quilt is appended to `target`.
    IntfXmlQuilt(IntfXmlQuilts* parent, qel_intf_data* target, int32_t id);
    ~IntfXmlQuilt() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    qel_intf_data* target_ = nullptr;
    QelQuiltdata* rec_ = nullptr; // owned with its faces until appended
    IntfXmlFaces* faces_ = nullptr;
};
