#include "client/zr_bnfs.h"

#include "client/zr_client.h"
#include "client/zr_proxy.h"

#include "net.h"
#include "uniloc.h"
#include "xml/framework/xml_streams.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/mman.h>

bool ZrSplitBnfsPath(const char* path, std::string& host, int& port, std::string& inner,
                     std::string* error) {
    auto refuse = [&](const char* why) {
        if (error)
            *error = why;
        return false;
    };
    static const char kScheme[] = "bnfs://";
    if (!path || std::strncmp(path, kScheme, sizeof kScheme - 1) != 0)
        return refuse("not a bnfs://host:port/ path");
    const char* h = path + sizeof kScheme - 1;
    const char* colon = std::strchr(h, ':');
    const char* slash = std::strchr(h, '/');
    if (!colon || colon == h || (slash && slash < colon) || colon - h > 255)
        return refuse("no host:port in the path");
    const char* digits = colon + 1;
    const char* end = slash ? slash : digits + std::strlen(digits);
    int value = 0;
    auto r = std::from_chars(digits, end, value);
    if (r.ec != std::errc() || r.ptr != end || value <= 0 || value > 65535)
        return refuse("bad port in the path");
    std::string where = slash ? std::string(slash) : std::string("/");
    std::string normalised;
    if (!uniNormalizePath(where.c_str(), normalised, error))
        return false;
    host.assign(h, colon);
    port = value;
    inner = std::move(normalised);
    return true;
}

namespace {

// Test switches (ZrBnfsTestHooks).
std::atomic<size_t> g_documentLimit{0};    // 0: what a transfer can carry
std::atomic<int64_t> g_blocksLeft{-1};     // negative: no block is refused

// False when a test refuses this block.
bool BlockAllowed() {
    int64_t left = g_blocksLeft.load();
    while (left >= 0) {
        if (left == 0)
            return false;
        if (g_blocksLeft.compare_exchange_weak(left, left - 1))
            return true;
    }
    return true;
}

struct ConnectionCloser {
    void operator()(BNFSConnection* c) const { BNFSConnection::Close(c); }
};
using Connection = std::unique_ptr<BNFSConnection, ConnectionCloser>;

// A block of a document being written, mapped straight from the system, so
// that freeing it gives its memory back at once (a block of the heap may
// stay with the process): a large document then takes little more than its
// own size while it is put together.
class Block {
public:
    // Null when the system has no memory for it.
    static std::unique_ptr<Block> Make(size_t capacity) {
        if (!BlockAllowed())
            return nullptr;
        void* p = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                         -1, 0);
        return p == MAP_FAILED ? nullptr
                               : std::unique_ptr<Block>(new Block(static_cast<char*>(p), capacity));
    }
    ~Block() { ::munmap(data_, capacity_); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    size_t Room() const { return capacity_ - size_; }
    void Append(const char* data, size_t n) {
        std::memcpy(data_ + size_, data, n);
        size_ += n;
    }
    const char* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    Block(char* data, size_t capacity) : data_(data), capacity_(capacity) {}

    char* data_;
    size_t size_ = 0;
    size_t capacity_;
};

// One document: read whole when opened (mode 1), or kept as it is written
// and stored on Close (mode 2), through a connection to the server or
// straight into this process's own in-memory location. A document that
// failed part-way (too large, no memory) is never stored: whatever the
// location held under its name stays.
class BnfsFile : public IntfXmlBnfsFile {
public:
    // Reading: the whole file at once.
    explicit BnfsFile(std::string data) : data_(std::move(data)), mode_(1) {}
    // Writing: stored on Close through `connection`, or into `own` when
    // there is no connection.
    BnfsFile(Connection connection, unilocation* own, std::string inner)
        : connection_(std::move(connection)), own_(own), inner_(std::move(inner)), mode_(2) {}

    long Read(char* buffer, size_t wanted) override {
        if (mode_ != 1 || !buffer)
            return -1;
        const size_t n = std::min(wanted, data_.size() - pos_);
        std::memcpy(buffer, data_.data() + pos_, n);
        pos_ += n;
        return long(n);
    }

    long Write(const char* data, size_t n) override {
        if (mode_ != 2 || closed_ || failed_ || (!data && n))
            return -1;
        // Never more than one frame can carry: a write frame to a server, a
        // file answer from this process's own location.
        size_t most = connection_ ? kBnfsMaxPayload - kUniMaxPath - 1 : kBnfsMaxFilePayload;
        if (const size_t limit = g_documentLimit.load())
            most = std::min(most, limit);
        const size_t room = most > size_ ? most - size_ : 0;
        const size_t k = std::min(n, room);
        // Kept in blocks: a large document is never copied as it grows.
        size_t done = 0;
        while (done < k) {
            if (blocks_.empty() || blocks_.back()->Room() == 0) {
                // Blocks grow with the document, up to kBlock.
                std::unique_ptr<Block> block =
                    Block::Make(std::min(kBlock, std::max(kFirstBlock, size_)));
                if (!block) {
                    error_ = "no memory for the document";
                    break;
                }
                blocks_.push_back(std::move(block));
            }
            Block& block = *blocks_.back();
            const size_t part = std::min(k - done, block.Room());
            block.Append(data + done, part);
            done += part;
            size_ += part;
        }
        if (done < n) {
            failed_ = true;
            if (error_.empty())
                error_ = "the document is larger than a bnfs transfer can carry (" +
                         std::to_string(most) + " bytes)";
        }
        return long(done);
    }

    bool Close() override {
        if (closed_)
            return ok_;
        closed_ = true;
        if (mode_ == 2 && failed_) {
            blocks_.clear();
            connection_.reset();
            ok_ = false;
        } else if (mode_ == 2) {
            // The document in one piece, each block freed once copied.
            std::string whole;
            whole.reserve(size_);
            for (std::unique_ptr<Block>& block : blocks_) {
                whole.append(block->Data(), block->Size());
                block.reset();
            }
            blocks_.clear();
            if (connection_) {
                bnfsError error;
                ok_ = BNFSConnection::WriteFile(connection_.get(), inner_.c_str(), whole.data(),
                                                whole.size(), error);
                if (!ok_)
                    error_ = error.message;
                connection_.reset();
            } else {
                // The process's own document: kept as it is, counted in no
                // budget (bounded by nothing but the model).
                ok_ = own_->WriteShared(inner_.c_str(), uniMakeBuffer(std::move(whole), nullptr),
                                        &error_);
            }
        }
        data_.clear();
        return ok_;
    }

    std::string Error() const override { return error_; }

private:
    Connection connection_;
    unilocation* own_ = nullptr;
    std::string inner_;
    static constexpr size_t kFirstBlock = size_t(64) << 10;
    static constexpr size_t kBlock = size_t(4) << 20;

    std::string data_;               // reading: the whole file
    std::vector<std::unique_ptr<Block>> blocks_; // writing: what is written
    size_t size_ = 0;                // writing: bytes in blocks_
    size_t pos_ = 0;
    int mode_;
    bool closed_ = false;
    bool failed_ = false; // a write failed: the document is incomplete
    bool ok_ = true;
    std::string error_;
};

} // namespace

IntfXmlBnfsFile* ZrOpenBnfsFile(const char* path, int mode, std::string* error) {
    std::string host, inner;
    int port = 0;
    if (!ZrSplitBnfsPath(path, host, port, inner, error))
        return nullptr;
    if (mode != 1 && mode != 2) {
        if (error)
            *error = "unknown open mode";
        return nullptr;
    }
    // A document under this process's own callback address is read and
    // written in place, not through a socket to itself: a callback server
    // whose sessions are all taken cannot keep the client out of its own
    // documents.
    if (unilocation* own = ZrOwnCallbackLocation(host.c_str(), port)) {
        if (mode == 2)
            return new BnfsFile(Connection(), own, std::move(inner));
        std::string data;
        if (!own->ReadFile(inner.c_str(), data, error))
            return nullptr;
        return new BnfsFile(std::move(data));
    }
    bnfsError failure;
    Connection connection(BNFSConnection::Open(failure, host.c_str(), port));
    if (!connection) {
        if (error)
            *error = failure.message;
        return nullptr;
    }
    ZrApplyReplyLimits(connection.get());
    if (mode == 2)
        return new BnfsFile(std::move(connection), nullptr, std::move(inner));
    std::string data;
    if (!BNFSConnection::ReadFile(connection.get(), inner.c_str(), data, failure)) {
        if (error)
            *error = failure.message;
        return nullptr;
    }
    return new BnfsFile(std::move(data));
}

void ZrBnfsTestHooks::SetDocumentLimit(size_t bytes) { g_documentLimit.store(bytes); }

void ZrBnfsTestHooks::RefuseBlocksAfter(int64_t blocks) { g_blocksLeft.store(blocks); }

void ZrRegisterBnfsOpener() {
    if (IntfXmlGetBnfsOpener() != &ZrOpenBnfsFile)
        IntfXmlRegisterBnfsOpener(&ZrOpenBnfsFile);
}
