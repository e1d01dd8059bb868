#include "client/zr_bnfs.h"

#include "client/zr_proxy.h"

#include "net.h"
#include "uniloc.h"
#include "xml/framework/xml_streams.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>

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

struct ConnectionCloser {
    void operator()(BNFSConnection* c) const { BNFSConnection::Close(c); }
};
using Connection = std::unique_ptr<BNFSConnection, ConnectionCloser>;

class BnfsFile : public IntfXmlBnfsFile {
public:
    // Reading: the whole file at once.
    explicit BnfsFile(std::string data) : data_(std::move(data)), mode_(1) {}
    // Writing: stored on Close through `connection`.
    BnfsFile(Connection connection, std::string inner)
        : connection_(std::move(connection)), inner_(std::move(inner)), mode_(2) {}

    long Read(char* buffer, size_t wanted) override {
        if (mode_ != 1 || !buffer)
            return -1;
        const size_t n = std::min(wanted, data_.size() - pos_);
        std::memcpy(buffer, data_.data() + pos_, n);
        pos_ += n;
        return long(n);
    }

    long Write(const char* data, size_t n) override {
        if (mode_ != 2 || closed_ || (!data && n))
            return -1;
        // Never more than one frame can carry.
        const size_t room = kBnfsMaxPayload - kUniMaxPath - 1 - data_.size();
        const size_t k = std::min(n, room);
        data_.append(data, k);
        return long(k);
    }

    bool Close() override {
        if (closed_)
            return ok_;
        closed_ = true;
        if (mode_ == 2) {
            bnfsError error;
            ok_ = BNFSConnection::WriteFile(connection_.get(), inner_.c_str(), data_.data(),
                                            data_.size(), error);
            connection_.reset();
        }
        data_.clear();
        return ok_;
    }

private:
    Connection connection_;
    std::string inner_;
    std::string data_;
    size_t pos_ = 0;
    int mode_;
    bool closed_ = false;
    bool ok_ = true;
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
    bnfsError failure;
    Connection connection(BNFSConnection::Open(failure, host.c_str(), port));
    if (!connection) {
        if (error)
            *error = failure.message;
        return nullptr;
    }
    ZrApplyReplyLimits(connection.get());
    if (mode == 2)
        return new BnfsFile(std::move(connection), std::move(inner));
    std::string data;
    if (!BNFSConnection::ReadFile(connection.get(), inner.c_str(), data, failure)) {
        if (error)
            *error = failure.message;
        return nullptr;
    }
    return new BnfsFile(std::move(data));
}

void ZrRegisterBnfsOpener() {
    if (IntfXmlGetBnfsOpener() != &ZrOpenBnfsFile)
        IntfXmlRegisterBnfsOpener(&ZrOpenBnfsFile);
}
