// The temporary directory and the transfer dump.
#include "xml/framework/xml_tempdir.h"

#include "kkatomicfile.h"
#include "process.h"
#include "xml/framework/xml_streams.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// Copies `value` into the buffer when it names an existing directory and
// fits with its terminator.
bool TakeDirectory(const char* value, char* buffer, size_t size) {
    if (!value || !*value)
        return false;
    const size_t len = std::strlen(value);
    if (len >= size)
        return false;
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::path(value), ec))
        return false;
    std::memcpy(buffer, value, len + 1);
    return true;
}

// The document being copied: a "bnfs:" document or a local file (only a
// regular one: a FIFO named here would block the copy).
std::unique_ptr<IntfXmlIOStream> OpenSource(const char* path) {
    if (IntfXmlIsBnfsPath(path))
        return std::make_unique<IntfXmlBnfsStream>(path, 1);
    return std::make_unique<IntfXmlFileStream>(path, 1);
}

bool SameFile(const char* a, const char* b) {
    std::error_code ec;
    return std::filesystem::equivalent(std::filesystem::path(a), std::filesystem::path(b), ec) &&
           !ec;
}

} // namespace

char* GetTempDir(char* buffer, size_t size) {
    if (!buffer || size == 0)
        return nullptr;
    for (const char* variable : {"TMP", "TEMP", "TMPDIR"})
        if (TakeDirectory(btk_getenv(variable), buffer, size))
            return buffer;
    const size_t len = std::strlen(INTFXML_TEMP_DEFAULT);
    if (len < size)
        std::memcpy(buffer, INTFXML_TEMP_DEFAULT, len + 1);
    else
        buffer[0] = '\0';
    return buffer;
}

std::string IntfXmlTempDir() {
    char buffer[4096];
    return GetTempDir(buffer, sizeof buffer);
}

bool IntfXmlCopyDocument(const char* path, const char* target) {
    if (!path || !*path || !target || !*target)
        return false;
    // The document is the target itself: the copy would be the same bytes.
    if (!IntfXmlIsBnfsPath(path) && SameFile(path, target))
        return false;
    std::unique_ptr<IntfXmlIOStream> source = OpenSource(path);
    if (!source->IsOpen())
        return false;
    // The copy takes the target's place only when it is whole.
    kkAtomicFile out;
    if (!out.Open(target))
        return false;
    char block[INTFXML_DUMP_BLOCK];
    for (;;) {
        const size_t n = source->Read(block, sizeof block);
        if (n == 0) {
            if (!source->Good())
                out.SetFailed("reading the document failed");
            break;
        }
        if (!out.Write(block, n))
            break;
    }
    return out.Commit();
}

void DumpTransferredXml(const char* path) { IntfXmlCopyDocument(path, INTFXML_DUMP_FILE); }

void IntfXmlDumpIfRequested(const char* path) {
    if (btk_getenv(INTFXML_DUMP_VARIABLE))
        DumpTransferredXml(path);
}
