// Writing one whole document.
#include "xml/framework/xml_document.h"

#include "xml/framework/xml_element.h"
#include "xml/framework/xml_streams.h"
#include "xml/framework/xml_writer.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

std::mutex& IntfXmlDocumentLock() {
    static std::mutex lock;
    return lock;
}

void IntfXmlWriteDocument(const char* path, const std::function<void()>& body) {
    if (!path || !*path)
        IntfXmlThrow(INTFXML_ERR_OPEN, "no document name");
    std::lock_guard<std::mutex> lock(IntfXmlDocumentLock());
    // Only the close publishes: a body that throws leaves the stream to its
    // destructor, which gives the document up (the target stays as it was).
    std::unique_ptr<IntfXmlIOStream> stream = IntfXmlOpenOutput(path);
    // The writer lets go of the stream before the stream goes, whether the
    // document ended whole or not.
    struct WriterRelease {
        ~WriterRelease() { IntfXmlWriter::EndDocument(); }
    } release;
    IntfXmlWriter::GetWriter(stream.get());
    IntfXmlWriter::Instance().WriteHeader();
    if (body)
        body();
    IntfXmlCloseOutput(*stream, path);
}
