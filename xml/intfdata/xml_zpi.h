// xml/intfdata: the interface-data document "ZPI" (this header), its
// "QelIntfData" element with faces, edges, datums and quilts, its
// "QelIntfDataExtend" element with the metadata, extended edges and facets,
// and the document written from interface objects (xml_kpi_writer.h). It
// uses framework/ and geometry/.
//
// The interface-data document: root "ZPI" holding "QelIntfData" and, when
// an extension is given, "QelIntfDataExtend".
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   	<ZPI>
//   	<QelIntfData> ... </QelIntfData>
//   	<QelIntfDataExtend> ... </QelIntfDataExtend>
//   	</ZPI>                         (nothing after the last ">")
//
// Writing: IntfXmlZPI(path, data, extension) writes the whole document to
// a local file or a "bnfs:" location through IntfXmlWriteDocument
// (xml/framework/xml_document.h), all within the constructor; it throws
// IntfXmlError when the path cannot be opened, the records are
// inconsistent or the document could not be written whole (the old target
// then stays as it was, and the temporary file beside it is removed; a
// "bnfs:" document is not sent). Threads write documents at once, none
// waiting for another.
//
// Reading: make the reader (parent null) and parse with IntfXmlParseDocument
// (xml/framework/sax_handler.h), or call IntfXmlZPI::Read. The root element may bear
// any name; each part may appear once, in either order; any other element
// directly inside the root is an error (under a root not named "ZPI": "not
// an interface-data document (root element \"X\")"). Afterwards the part readers hold
// their records (GetIntfData, GetIntfDataExtend) and free them when the
// document reader is destroyed, unless the caller takes them:
//   - DetachIntfData() / DetachIntfDataExtend() hand the records over, or
//   - GetIntfDataHandler()->Detach() / GetIntfDataExtendHandler()->Detach()
//     after GetData().
// A caller that keeps the interface data frees it with qel_intf_data_free;
// the extension with impfeat_ext_free followed by rlsmem.
#pragma once

#include "api/qel_records.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_writer.h"

#include <memory>
#include <string>

class IntfXmlQelIntfData;
class IntfXmlQelIntfDataExtend;

class IntfXmlZPI : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer: the whole document to `path` ("bnfs:" location or file,
    // synced as `durability` says).
    IntfXmlZPI(const char* path, const qel_intf_data* data,
               const qel_intf_data_extend* extension = nullptr,
               kkDurability durability = kkDurability::Durable);
    // Reader; a null parent makes it a document's top reader.
    explicit IntfXmlZPI(IntfXmlElement* parent);
    ~IntfXmlZPI() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    // The part readers made while reading (null when the part did not come).
    IntfXmlQelIntfData* GetIntfDataHandler() const { return intfData_; }
    IntfXmlQelIntfDataExtend* GetIntfDataExtendHandler() const { return extension_; }
    // Their records, still owned by them (null without the part, or once
    // taken).
    qel_intf_data* GetIntfData() const;
    qel_intf_data_extend* GetIntfDataExtend() const;
    // The records handed over to the caller (null without the part).
    qel_intf_data* DetachIntfData();
    qel_intf_data_extend* DetachIntfDataExtend();

    // The name of the root element read (empty before it came, or when the
    // document began with one of its parts).
    const std::string& RootName() const { return root_; }
    // Why a document that was read gave no interface data: "not an
    // interface-data document (root element \"X\")" under a root not named
    // "ZPI", else "the document holds no \"QelIntfData\"".
    std::string MissingIntfDataReason() const;

    // Reads the document at `path` and hands its records over (either may
    // be null when the part was absent; pass null for a part not wanted,
    // which is then freed). Throws IntfXmlError when the document cannot be
    // read; nothing is handed over then. `missing`, when given, gets
    // MissingIntfDataReason() when the document held no interface data.
    static void Read(const char* path, qel_intf_data** data, qel_intf_data_extend** extension,
                     std::string* missing = nullptr);

private:
    static void CheckOnceInDocument(const void* existing, const char* name);
    std::string NotThisDocument() const;

    IntfXmlQelIntfData* intfData_ = nullptr;
    IntfXmlQelIntfDataExtend* extension_ = nullptr;
    bool sawRoot_ = false;
    std::string root_;
};
