// Saving a model as a neutral part, writing it as an interface-data
// document and reading one back. This build checks the arguments and the
// model's state; the document binding and the neutral writer are not part
// of it, so the operations then refuse with
// KPI_STATUS_PERSISTENCE_UNAVAILABLE and nothing is written or read. A read
// without a file name gives no model, as a failed read does.
#include "kernel/model.h"
#include "kernel/session_i.h"

#include "xexcept.h"

#include <iostream>

void KWPIModel_i::SaveAsNeutral(xrchandle<KCStream> stream) {
    // A model without interface data (made in cache mode, or closed) has
    // nothing to save; this is told before the stream is looked at.
    if (!GetIntfData())
        ThrowSimple(KPI_STATUS_NO_INTF_DATA);
    if (!stream)
        ThrowInvalidArg(1, 0);
    ThrowSimple(KPI_STATUS_PERSISTENCE_UNAVAILABLE);
}

void KWPIModel_i::WriteZPI(const char* path) {
    if (!path)
        ThrowInvalidArg(1, 0);
    ThrowSimple(KPI_STATUS_PERSISTENCE_UNAVAILABLE);
}

xrchandle<KWPIModel> KWPISession_i::ReadZPI(const char* path) {
    // Reading never raises for a document it cannot read: it says so on
    // standard error and gives no model. A missing name is such a case.
    if (!path) {
        std::cerr << "Could not read the XML data." << std::endl;
        return nullptr;
    }
    ThrowSimple(KPI_STATUS_PERSISTENCE_UNAVAILABLE);
}
