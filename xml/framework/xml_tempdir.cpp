// The temporary directory and the transfer dump.
#include "xml/framework/xml_tempdir.h"

#include "btk_quoted.h"
#include "kkatomicfile.h"
#include "process.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_streams.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>

namespace {

// Copies `value` into the buffer when it names an existing directory and
// fits with its terminator; else says why not in `why`.
bool TakeDirectory(const char* value, char* buffer, size_t size, const char*& why) {
    if (!value || !*value) {
        why = "it is empty";
        return false;
    }
    const size_t len = std::strlen(value);
    if (len >= size) {
        why = "it is too long";
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::path(value), ec)) {
        why = "it names no existing folder";
        return false;
    }
    std::memcpy(buffer, value, len + 1);
    return true;
}

// Tells once per process and value, in one line on standard error, that a
// set variable was passed over: a setting that is not taken must not go
// unnoticed. (Told after the lock is released: no other thread waits for
// standard error.)
void TellPassedOver(const char* variable, const char* value, const char* why) {
    static std::mutex* mutex = new std::mutex;
    static std::set<std::string>* told = new std::set<std::string>;
    {
        std::lock_guard<std::mutex> hold(*mutex);
        if (!told->insert(std::string(variable) + "=" + value).second)
            return;
    }
    IntfXmlTellFailure(std::string(variable) + "=" + btkQuoted(value) +
                       " is passed over for the temporary folder: " + why);
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
    for (const char* variable : {"TMP", "TEMP", "TMPDIR"}) {
        const char* value = btk_getenv(variable);
        const char* why = "";
        if (TakeDirectory(value, buffer, size, why))
            return buffer;
        if (value)
            TellPassedOver(variable, value, why);
    }
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

bool IntfXmlCopyDocument(const char* path, const char* target, std::string* why,
                         kkDurability durability) {
    auto fail = [why](std::string reason) {
        if (why)
            *why = std::move(reason);
        return false;
    };
    if (!path || !*path)
        return fail("no document name");
    if (!target || !*target)
        return fail("no target name");
    // The document is the target itself: the copy would be the same bytes.
    if (!IntfXmlIsBnfsPath(path) && SameFile(path, target))
        return fail(btkQuoted(path) + " is the target itself");
    std::unique_ptr<IntfXmlIOStream> source = OpenSource(path);
    if (!source->IsOpen())
        return fail(source->Error());
    // The copy takes the target's place only when it is whole.
    kkAtomicFile out;
    if (!out.Open(target, 0666, durability))
        return fail(out.Error());
    char block[INTFXML_DUMP_BLOCK];
    for (;;) {
        const size_t n = source->Read(block, sizeof block);
        if (n == 0) {
            if (!source->Good())
                out.SetFailed("reading " + btkQuoted(path) + " failed: " + source->Error());
            break;
        }
        if (!out.Write(block, n))
            break;
    }
    if (!out.Commit())
        return fail(out.Error());
    return true;
}

void DumpTransferredXml(const char* path) {
    // The dump was asked for: one that cannot be made says why.
    std::string why;
    if (!IntfXmlCopyDocument(path, INTFXML_DUMP_FILE, &why, kkDurability::Unsynced))
        IntfXmlTellFailure("Could not dump the transferred document to \"" +
                           std::string(INTFXML_DUMP_FILE) + "\": " + why);
}

void IntfXmlDumpIfRequested(const char* path) {
    if (btk_getenv(INTFXML_DUMP_VARIABLE))
        DumpTransferredXml(path);
}
