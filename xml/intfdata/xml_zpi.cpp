// The interface-data document.
#include "xml/intfdata/xml_zpi.h"

#include "xmemory.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_document.h"
#include "xml/intfdata/xml_extend.h"
#include "xml/intfdata/xml_intfdata.h"

#include <cstdio>
#include <cstring>

IntfXmlZPI::IntfXmlZPI(const char* path, const qel_intf_data* data,
                       const qel_intf_data_extend* extension, kkDurability durability) {
    if (path && *path && !data)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no interface data to write");
    IntfXmlWriteDocument(path, [&] {
        StartElement("ZPI");
        IntfXmlQelIntfData(data, nullptr);
        if (extension)
            IntfXmlQelIntfDataExtend(extension, nullptr);
        EndElement();
    }, durability);
}

IntfXmlZPI::IntfXmlZPI(IntfXmlElement* parent) : IntfXmlElement(parent) {}

IntfXmlZPI::~IntfXmlZPI() = default;

IntfXmlElement* IntfXmlZPI::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (IntfXmlIsName(name, "QelIntfData")) {
        sawRoot_ = true;
        CheckOnceInDocument(intfData_, name);
        return intfData_ = MakeChild<IntfXmlQelIntfData>();
    }
    if (IntfXmlIsName(name, "QelIntfDataExtend")) {
        sawRoot_ = true;
        CheckOnceInDocument(extension_, name);
        return extension_ = MakeChild<IntfXmlQelIntfDataExtend>();
    }
    if (!sawRoot_) {
        // The root element, whatever its name. Another document's root
        // (refused unless it holds the parts) is passed over with its
        // attributes; "ZPI" has none to read.
        sawRoot_ = true;
        root_ = name;
        if (root_ != "ZPI")
            IntfXmlTakeAttributes(attrs);
        return this;
    }
    // Under a root of another name this is some other document altogether.
    if (root_ != "ZPI")
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "%s", NotThisDocument().c_str());
    IntfXmlThrowUnexpected(name, "ZPI");
}

std::string IntfXmlZPI::NotThisDocument() const {
    return "not an interface-data document (root element " + IntfXmlQuotedName(root_.c_str()) + ")";
}

std::string IntfXmlZPI::MissingIntfDataReason() const {
    if (!root_.empty() && root_ != "ZPI")
        return NotThisDocument();
    return "the document holds no \"QelIntfData\"";
}

void IntfXmlZPI::CheckOnceInDocument(const void* existing, const char* name) {
    if (existing)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "the document holds \"%s\" twice", name);
}

IntfXmlElement* IntfXmlZPI::endElement(const char*) { return Parent(); }

qel_intf_data* IntfXmlZPI::GetIntfData() const {
    return intfData_ ? intfData_->GetData() : nullptr;
}

qel_intf_data_extend* IntfXmlZPI::GetIntfDataExtend() const {
    return extension_ ? extension_->GetData() : nullptr;
}

qel_intf_data* IntfXmlZPI::DetachIntfData() {
    qel_intf_data* data = GetIntfData();
    if (intfData_)
        intfData_->Detach();
    return data;
}

qel_intf_data_extend* IntfXmlZPI::DetachIntfDataExtend() {
    qel_intf_data_extend* ext = GetIntfDataExtend();
    if (extension_)
        extension_->Detach();
    return ext;
}

void IntfXmlZPI::Read(const char* path, qel_intf_data** data, qel_intf_data_extend** extension,
                      std::string* missing) {
    if (data)
        *data = nullptr;
    if (extension)
        *extension = nullptr;
    IntfXmlZPI reader(nullptr);
    IntfXmlParseDocument(path, &reader);
    if (missing && !reader.GetIntfData())
        *missing = reader.MissingIntfDataReason();
    if (data)
        *data = reader.DetachIntfData();
    if (extension)
        *extension = reader.DetachIntfDataExtend();
}
