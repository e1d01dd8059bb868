// Writing one whole document.
#include "xml/framework/xml_document.h"

#include "btk_quoted.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_streams.h"
#include "xml/framework/xml_writer.h"

#include <memory>
#include <string>

void IntfXmlWriteDocument(const char* path, const std::function<void()>& body,
                          kkDurability durability) {
    if (!path || !*path)
        IntfXmlThrow(INTFXML_ERR_OPEN, "no document name");
    // Only the close publishes: a body that throws leaves the stream to its
    // destructor, which gives the document up (the target stays as it was).
    std::unique_ptr<IntfXmlIOStream> stream = IntfXmlOpenOutput(path, durability);
    {
        // The document's own writer, current on this thread while the body
        // runs; it goes before its stream does, whole document or not.
        IntfXmlWriter writer(stream.get());
        IntfXmlWriter::Use use(writer);
        writer.WriteHeader();
        try {
            if (body)
                body();
        } catch (const IntfXmlError& e) {
            // What the body refuses to write is told with the document.
            if (e.Status() != INTFXML_ERR_RECORD)
                throw;
            throw IntfXmlError(e.Status(), "cannot write " + btkQuoted(path) + ": " + e.Message());
        }
    }
    IntfXmlCloseOutput(*stream, path);
}
