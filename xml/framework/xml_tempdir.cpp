// The temporary directory and the transfer dump.
#include "xml/framework/xml_tempdir.h"

#include "kkatomicfile.h"
#include "process.h"
#include "xml/framework/xml_streams.h"

#include <unistd.h>

#include <cstdio>
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

// The document being copied: a "bnfs:" document or a local file.
class Source {
public:
    explicit Source(const char* path) {
        if (IntfXmlIsBnfsPath(path)) {
            if (IntfXmlBnfsOpener opener = IntfXmlGetBnfsOpener())
                bnfs_.reset(opener(path, 1, nullptr));
        } else {
            // Only a regular file: a FIFO named here would block the copy.
            const int fd = IntfXmlOpenRegularFile(path, nullptr);
            if (fd >= 0 && !(file_ = ::fdopen(fd, "rb")))
                ::close(fd);
        }
    }
    ~Source() {
        if (bnfs_)
            bnfs_->Close();
        if (file_)
            std::fclose(file_);
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool IsOpen() const { return bnfs_ || file_; }
    // Bytes read (> 0), 0 at the end, negative on failure.
    long Read(char* buffer, size_t wanted) {
        if (bnfs_)
            return bnfs_->Read(buffer, wanted);
        const size_t n = std::fread(buffer, 1, wanted, file_);
        if (n > 0)
            return long(n);
        return std::ferror(file_) ? -1 : 0;
    }

private:
    std::unique_ptr<IntfXmlBnfsFile> bnfs_;
    std::FILE* file_ = nullptr;
};

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
    // Copying a file onto itself would empty it before it is read.
    if (!IntfXmlIsBnfsPath(path) && SameFile(path, target))
        return false;
    Source source(path);
    if (!source.IsOpen())
        return false;
    // The copy takes the target's place only when it is whole.
    kkAtomicFile out;
    if (!out.Open(target))
        return false;
    char block[INTFXML_DUMP_BLOCK];
    for (;;) {
        const long n = source.Read(block, sizeof block);
        if (n < 0)
            out.SetFailed("reading the document failed");
        if (n <= 0)
            break;
        if (!out.Write(block, size_t(n)))
            break;
    }
    return out.Commit();
}

void DumpTransferredXml(const char* path) { IntfXmlCopyDocument(path, INTFXML_DUMP_FILE); }

void IntfXmlDumpIfRequested(const char* path) {
    if (btk_getenv(INTFXML_DUMP_VARIABLE))
        DumpTransferredXml(path);
}
