// Writing one whole document.
#include "xml/xml_document.h"

#include "xml/xml_element.h"
#include "xml/xml_streams.h"
#include "xml/xml_writer.h"
#include "xml/xml_zpi.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

void IntfXmlWriteDocument(const char* path, const std::function<void()>& body) {
    if (!path || !*path)
        IntfXmlThrow(INTFXML_ERR_OPEN, "no document name");
    std::lock_guard<std::mutex> lock(IntfXmlDocumentLock());
    std::unique_ptr<IntfXmlIOStream> stream = IntfXmlOpenOutput(path);
    try {
        IntfXmlWriter::GetWriter(stream.get());
        IntfXmlWriter::Instance().WriteHeader();
        if (body)
            body();
        IntfXmlCloseOutput(*stream, path);
    } catch (...) {
        // The target stays as it was: a local file is not replaced, a
        // "bnfs:" document is not sent.
        stream->Discard();
        throw;
    }
}

