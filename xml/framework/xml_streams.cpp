// Document streams: buffered byte streams over local files, "bnfs:"
// documents and memory, and the token reader that feeds "bnfs:" documents to
// the parser.
#include "xml/framework/xml_streams.h"
#include "btk_quoted.h"
#include "btk_reason.h"

#include "xml/framework/xml_element.h"

#include "kkatomicfile.h"
#include "kkfileio.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

// ---- IntfXmlIOStream -------------------------------------------------------------

IntfXmlIOStream::IntfXmlIOStream() = default;

IntfXmlIOStream::~IntfXmlIOStream() = default;

void IntfXmlIOStream::SetFailed(std::string why) {
    if (!failed_)
        error_ = std::move(why);
    failed_ = true;
}

void IntfXmlIOStream::FlushBuffer() {
    if (!wbuf_) {
        // The first write: only a stream written to has the buffer.
        wbuf_.reset(new char[kWriteBufferSize]);
        wpos_ = 0;
        return;
    }
    if (wpos_ == 0)
        return;
    if (open_ && !failed_) {
        long n = WriteHook(wbuf_.get(), wpos_);
        if (n < 0 || size_t(n) != wpos_)
            SetFailed("writing failed");
    } else if (!failed_) {
        SetFailed("the stream is not open");
    }
    wpos_ = 0;
}

void IntfXmlIOStream::WriteLong(const char* data, size_t n) {
    while (n > 0) {
        if (wpos_ == kWriteBufferSize)
            FlushBuffer();
        if (wpos_ == 0 && n >= kWriteBufferSize) {
            // A whole buffer's worth or more goes out as it is.
            const size_t k = n - n % kWriteBufferSize;
            if (open_ && !failed_) {
                long w = WriteHook(data, k);
                if (w < 0 || size_t(w) != k)
                    SetFailed("writing failed");
            } else if (!failed_) {
                SetFailed("the stream is not open");
            }
            data += k;
            n -= k;
            continue;
        }
        size_t k = std::min(n, kWriteBufferSize - wpos_);
        std::memcpy(wbuf_.get() + wpos_, data, k);
        wpos_ += k;
        data += k;
        n -= k;
    }
}

bool IntfXmlIOStream::Flush() {
    if (wbuf_)
        FlushBuffer();
    return !failed_;
}

bool IntfXmlIOStream::FillBuffer() {
    if (!open_ || readEnded_)
        return false;
    if (!rbuf_)
        rbuf_.reset(new char[kReadBufferSize]);
    long n = ReadHook(rbuf_.get(), kReadBufferSize);
    if (n <= 0) {
        if (n < 0)
            SetFailed("reading failed");
        readEnded_ = true;
        rpos_ = rlen_ = 0;
        return false;
    }
    rpos_ = 0;
    rlen_ = size_t(n);
    return true;
}

size_t IntfXmlIOStream::Read(char* buffer, size_t n) {
    if (n == 0)
        return 0;
    if (rpos_ == rlen_) {
        // Large reads go straight to the destination.
        if (n >= kReadBufferSize && open_ && !readEnded_) {
            long k = ReadHook(buffer, n);
            if (k > 0)
                return size_t(k);
            if (k < 0)
                SetFailed("reading failed");
            readEnded_ = true;
            return 0;
        }
        if (!FillBuffer())
            return 0;
    }
    const size_t k = std::min(n, rlen_ - rpos_);
    std::memcpy(buffer, rbuf_.get() + rpos_, k);
    rpos_ += k;
    return k;
}

bool IntfXmlIOStream::Close() {
    if (open_) {
        if (wbuf_)
            FlushBuffer();
        open_ = false;
        // A stream that failed anywhere never publishes what it wrote: it
        // gives its destination up, and keeps the first reason.
        if (failed_)
            DiscardHook();
        else if (!CloseHook())
            SetFailed("closing failed");
    }
    wpos_ = wbuf_ ? 0 : kWriteBufferSize;
    return !failed_;
}

void IntfXmlIOStream::Discard() {
    if (open_) {
        open_ = false;
        DiscardHook();
    }
    wpos_ = wbuf_ ? 0 : kWriteBufferSize;
}

// ---- local files -------------------------------------------------------------------

IntfXmlFileStream::IntfXmlFileStream(const char* path, int mode, kkDurability durability) {
    if (!path || !*path) {
        SetFailed("no file name");
        return;
    }
    if (mode == 1) {
        std::string why;
        const int fd = kkOpenRegularFile(path, O_RDONLY, 0, &why);
        if (fd >= 0) {
            file_ = ::fdopen(fd, "rb");
            if (!file_) {
                why = "cannot open " + btkQuoted(path) + ": " + btkSystemReason(errno);
                ::close(fd);
            }
        }
        if (file_)
            SetOpen();
        else
            SetFailed(why);
        return;
    }
    out_ = std::make_unique<kkAtomicFile>();
    if (out_->Open(path, 0666, durability))
        SetOpen();
    else
        SetFailed(out_->Error());
}

IntfXmlFileStream::~IntfXmlFileStream() { Discard(); }

long IntfXmlFileStream::ReadHook(char* buffer, size_t wanted) {
    if (!file_)
        return -1;
    const size_t n = std::fread(buffer, 1, wanted, file_);
    if (n > 0)
        return long(n);
    return std::ferror(file_) ? -1 : 0;
}

long IntfXmlFileStream::WriteHook(const char* data, size_t n) {
    if (!out_)
        return -1;
    if (out_->Write(data, n))
        return long(n);
    SetFailed(out_->Error());
    return -1;
}

bool IntfXmlFileStream::CloseHook() {
    if (out_) {
        const bool ok = out_->Commit();
        if (!ok)
            SetFailed(out_->Error());
        out_.reset();
        return ok;
    }
    int rc = file_ ? std::fclose(file_) : 0;
    file_ = nullptr;
    return rc == 0;
}

void IntfXmlFileStream::DiscardHook() {
    if (out_) {
        out_->Abandon();
        out_.reset();
        return;
    }
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

// ---- memory --------------------------------------------------------------------------

IntfXmlStringStream::IntfXmlStringStream() { SetOpen(); }

IntfXmlStringStream::IntfXmlStringStream(std::string input) : in_(std::move(input)) {
    SetOpen();
}

IntfXmlStringStream::~IntfXmlStringStream() { Discard(); }

long IntfXmlStringStream::ReadHook(char* buffer, size_t wanted) {
    size_t n = std::min(wanted, in_.size() - inPos_);
    std::memcpy(buffer, in_.data() + inPos_, n);
    inPos_ += n;
    return long(n);
}

long IntfXmlStringStream::WriteHook(const char* data, size_t n) {
    out_.append(data, n);
    return long(n);
}

bool IntfXmlStringStream::CloseHook() { return true; }

// ---- "bnfs:" locations -----------------------------------------------------------------

namespace {
std::atomic<IntfXmlBnfsOpener> g_bnfsOpener{nullptr};
}

IntfXmlBnfsFile::~IntfXmlBnfsFile() = default;

IntfXmlBnfsOpener IntfXmlRegisterBnfsOpener(IntfXmlBnfsOpener opener) {
    return g_bnfsOpener.exchange(opener);
}

IntfXmlBnfsOpener IntfXmlGetBnfsOpener() { return g_bnfsOpener.load(); }

bool IntfXmlIsBnfsPath(const char* path) {
    return path && std::strncmp(path, "bnfs:", 5) == 0;
}

IntfXmlBnfsStream::IntfXmlBnfsStream(const char* path, int mode) : mode_(mode) {
    IntfXmlBnfsOpener opener = g_bnfsOpener.load();
    const std::string where = path ? path : "";
    if (!opener) {
        SetFailed("cannot open " + btkQuoted(where) +
                  ": no \"bnfs\" location is available (the client runtime is not started)");
        return;
    }
    std::string why;
    file_.reset(opener(path, mode, &why));
    if (file_)
        SetOpen();
    else
        SetFailed("cannot open " + btkQuoted(where) + (why.empty() ? "" : ": " + why));
}

IntfXmlBnfsStream::~IntfXmlBnfsStream() { Discard(); }

long IntfXmlBnfsStream::ReadHook(char* buffer, size_t wanted) {
    const long n = file_->Read(buffer, wanted);
    return n < 0 ? -1 : n;
}

long IntfXmlBnfsStream::WriteHook(const char* data, size_t n) {
    long k = file_->Write(data, n);
    if (k < 0 || size_t(k) != n) {
        // The file's reason ("larger than a transfer can carry") rather
        // than only that writing failed.
        const std::string why = file_->Error();
        SetFailed(why.empty() ? "writing failed" : why);
    }
    return k < 0 ? 0 : k;
}

bool IntfXmlBnfsStream::CloseHook() {
    bool ok = file_->Close();
    if (!ok && !file_->Error().empty())
        SetFailed(file_->Error());
    file_.reset();
    return ok;
}

void IntfXmlBnfsStream::DiscardHook() {
    // Dropped without its close, a written document is never sent; a
    // document read is closed as usual.
    if (mode_ == 1)
        file_->Close();
    file_.reset();
}

std::unique_ptr<IntfXmlIOStream> IntfXmlOpenOutput(const char* path, kkDurability durability) {
    std::unique_ptr<IntfXmlIOStream> s;
    if (IntfXmlIsBnfsPath(path))
        s.reset(new IntfXmlBnfsStream(path, 2));
    else
        s.reset(new IntfXmlFileStream(path, 2, durability));
    if (!s->IsOpen())
        throw IntfXmlError(INTFXML_ERR_OPEN, s->Error());
    return s;
}

void IntfXmlCloseOutput(IntfXmlIOStream& stream, const char* path) {
    if (stream.Close())
        return;
    // A file's reason names the file already; any other is told with it.
    const std::string quoted = btkQuoted(path ? path : "");
    const std::string& why = stream.Error();
    if (why.find(quoted) != std::string::npos)
        throw IntfXmlError(INTFXML_ERR_WRITE, why);
    throw IntfXmlError(INTFXML_ERR_WRITE, "writing " + quoted + " failed: " + why);
}

// ---- token reader -----------------------------------------------------------------------

namespace {

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

constexpr std::string_view kEnvelopeEnd = "</SOAP-ENV:Envelope>";

} // namespace

IntfXmlMemBinInputStream::IntfXmlMemBinInputStream(IntfXmlIOStream* stream) : stream_(stream) {}

IntfXmlMemBinInputStream::~IntfXmlMemBinInputStream() = default;

size_t IntfXmlMemBinInputStream::FillToken(char* buffer, size_t size) {
    if (!stream_)
        return 0;
    if (envelopeEnded_) {
        for (int c = stream_->Get(); c != -1; c = stream_->Get())
            if (!IsSpace(c))
                throw IntfXmlError(INTFXML_ERR_PARSE, "Read past the end");
        return 0;
    }
    // The token goes into the caller's buffer; one longer than the buffer
    // is handed out over several calls, so that nothing of it is held here
    // (only its last bytes, to tell the envelope's end tag).
    size_t len = 0;
    for (int c = stream_->Peek(); c != -1 && len < size; c = stream_->Peek()) {
        stream_->Get();
        if (atStart_ && IsSpace(c))
            continue;
        atStart_ = false;
        buffer[len++] = char(c);
        if (!IsSpace(c))
            tokenNonSpace_ = true;
        if (tailLen_ == sizeof tail_) {
            std::memmove(tail_, tail_ + 1, sizeof tail_ - 1);
            --tailLen_;
        }
        tail_[tailLen_++] = char(c);
        if (c == '>' || (c == '\n' && tokenNonSpace_)) {
            if (tailLen_ == kEnvelopeEnd.size() &&
                std::string_view(tail_, tailLen_) == kEnvelopeEnd)
                envelopeEnded_ = true;
            tokenNonSpace_ = false;
            tailLen_ = 0;
            break;
        }
    }
    return len;
}

XMLSize_t IntfXmlMemBinInputStream::readBytes(XMLByte* toFill, XMLSize_t maxToRead) {
    if (maxToRead == 0)
        return 0;
    const size_t count = FillToken(reinterpret_cast<char*>(toFill), maxToRead);
    pos_ += count;
    return count;
}

IntfXmlMemInputSource::IntfXmlMemInputSource(IntfXmlIOStream* stream) : stream_(stream) {}

IntfXmlMemInputSource::~IntfXmlMemInputSource() = default;

XERCES_CPP_NAMESPACE::BinInputStream* IntfXmlMemInputSource::makeStream() const {
    return new IntfXmlMemBinInputStream(stream_);
}

IntfXmlBnfsInput::IntfXmlBnfsInput(const char* path) : path_(path ? path : "") {}

IntfXmlBnfsInput::~IntfXmlBnfsInput() {
    source_.reset();
    stream_.reset();
}

XERCES_CPP_NAMESPACE::InputSource* IntfXmlBnfsInput::GetInputSource() {
    if (!source_) {
        stream_.reset(new IntfXmlBnfsStream(path_.c_str(), 1));
        if (!stream_->IsOpen())
            throw IntfXmlError(INTFXML_ERR_OPEN, stream_->Error());
        source_.reset(new IntfXmlMemInputSource(stream_.get()));
    }
    return source_.get();
}
