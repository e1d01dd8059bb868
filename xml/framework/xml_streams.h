// Document streams of the XML binding.
//
// A document is named by a path. A path beginning with "bnfs:" names a
// document of the in-memory location that the client runtime serves to the
// host; any other path is a local file.
//
// Output: IntfXmlIOStream is a buffered byte stream (a 64 KB output buffer,
// a 4096-byte input buffer, each made when its side is first used) with an
// output side that the XML writer fills and an input side that the token
// reader of "bnfs:" documents peeks into. IntfXmlFileStream writes local
// files, IntfXmlBnfsStream goes through the "bnfs" opener that the client
// runtime registers (IntfXmlRegisterBnfsOpener); until one is registered a
// "bnfs:" stream does not open and says so in Error(). IntfXmlStringStream
// keeps everything in memory.
//
// A stream never throws on its own: a failed open or write leaves Good()
// false and later writes do nothing. IntfXmlOpenOutput is the checked way to
// open a document for writing; IntfXmlCloseOutput flushes, closes and reports.
//
// A document never replaces its target unless it is whole: a local file is
// written beside its target and renamed over it, and a "bnfs:" document is
// sent, by a Close() without any failure (base/files/kkatomicfile.h); a
// stream that failed anywhere is discarded by its Close().
// Discard() gives a document up instead: the local target stays as it was
// (or absent) and nothing is sent. Destroying a stream that was not closed
// discards it, so a writer that ends early (an exception, a return) never
// publishes what it wrote so far: only Close() publishes. A local target
// that exists and is not a regular file (a device, a fifo, a folder) is
// refused at the open with a clear reason and is never written into,
// removed or replaced.
//
// Input: IntfXmlBnfsInput hands the parser a "bnfs:" document through
// IntfXmlMemInputSource / IntfXmlMemBinInputStream, one token (a tag or a
// text line) per read. A local file is read only when it is a regular file
// (kkOpenRegularFile, kkfileio.h): it is opened once, checked, and parsed from
// that open file (see xml/framework/sax_handler.h).
#pragma once

#include "api/zpi50_export.h"
#include "btkstring.h"

#include <xercesc/sax/InputSource.hpp>
#include <xercesc/util/BinInputStream.hpp>

#include "kkatomicfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// ---- byte streams -------------------------------------------------------------

class IntfXmlIOStream {
public:
    static constexpr size_t kWriteBufferSize = 64 * 1024;
    static constexpr size_t kReadBufferSize = 4096;

    IntfXmlIOStream(const IntfXmlIOStream&) = delete;
    IntfXmlIOStream& operator=(const IntfXmlIOStream&) = delete;
    // Derived destructors call Discard(); this one only frees the buffers.
    virtual ~IntfXmlIOStream();

    // ---- output side
    // (Until the first write there is no buffer and wpos_ stands at its
    // end, so that the first write of any kind makes it.)
    void Put(char c) {
        if (wpos_ == kWriteBufferSize)
            FlushBuffer();
        wbuf_[wpos_++] = c;
    }
    void Write(const char* data, size_t n) {
        if (n <= kWriteBufferSize - wpos_) {
            if (n > 0) { // (no buffer yet when nothing was written)
                std::char_traits<char>::copy(wbuf_.get() + wpos_, data, n);
                wpos_ += n;
            }
        } else {
            WriteLong(data, n);
        }
    }
    void Write(std::string_view text) { Write(text.data(), text.size()); }
    // Writing in place: Reserve(n) returns where at least n bytes
    // (n <= kWriteBufferSize) may be written; Commit(end) takes the bytes
    // from there up to `end`. Nothing else may write in between.
    char* Reserve(size_t n) {
        if (kWriteBufferSize - wpos_ < n)
            FlushBuffer();
        return wbuf_.get() + wpos_;
    }
    void Commit(const char* end) { wpos_ = size_t(end - wbuf_.get()); }
    IntfXmlIOStream& operator<<(char c) {
        Put(c);
        return *this;
    }
    IntfXmlIOStream& operator<<(const char* text) {
        if (text)
            Write(std::string_view(text));
        return *this;
    }
    IntfXmlIOStream& operator<<(const btkZString& text) {
        Write(text.str());
        return *this;
    }
    // Hands the buffered bytes to the destination; false when anything
    // written so far failed.
    bool Flush();

    // ---- input side
    // Next byte without taking it, or -1 at the end (or after a failure).
    int Peek() {
        if (rpos_ == rlen_ && !FillBuffer())
            return -1;
        return static_cast<unsigned char>(rbuf_[rpos_]);
    }
    // Next byte, or -1 at the end (or after a failure).
    int Get() {
        if (rpos_ == rlen_ && !FillBuffer())
            return -1;
        return static_cast<unsigned char>(rbuf_[rpos_++]);
    }
    // Up to `n` bytes into `buffer`; 0 at the end. A failed read ends the
    // input as well and leaves Good() false, so a caller tells the two
    // apart after the 0.
    size_t Read(char* buffer, size_t n);

    // Flushes the output, then closes the destination; after any failure it
    // discards it instead (Discard). Harmless when closed. False when the
    // open, a write or the close failed (Error() says why).
    bool Close();
    // Closes the destination without completing it: what was written is
    // dropped where the destination allows (a local file's target stays as
    // it was, a "bnfs:" document is not sent). Harmless when closed.
    void Discard();

    bool IsOpen() const { return open_; }
    // Bytes of the output buffer: 0 until something is written.
    size_t WriteBufferBytes() const { return wbuf_ ? kWriteBufferSize : 0; }
    // No failure so far: the open succeeded and every write went through.
    bool Good() const { return !failed_; }
    // Why the stream did not open or failed; empty when nothing failed.
    const std::string& Error() const { return error_; }

protected:
    IntfXmlIOStream();
    void SetOpen() { open_ = true; }
    void SetFailed(std::string why);

    // Hooks of the destination. ReadHook: bytes read (> 0), 0 at the end,
    // -1 on failure. WriteHook: bytes written; fewer than asked is a
    // failure. CloseHook: false when closing failed.
    virtual long ReadHook(char* buffer, size_t wanted) = 0;
    virtual long WriteHook(const char* data, size_t n) = 0;
    virtual bool CloseHook() = 0;
    // Gives the destination up; by default it is closed all the same.
    virtual void DiscardHook() { CloseHook(); }

private:
    void FlushBuffer();
    void WriteLong(const char* data, size_t n);
    bool FillBuffer();

    std::unique_ptr<char[]> wbuf_;
    size_t wpos_ = kWriteBufferSize;
    std::unique_ptr<char[]> rbuf_;
    size_t rpos_ = 0;
    size_t rlen_ = 0;
    bool open_ = false;
    bool failed_ = false;
    bool readEnded_ = false;
    std::string error_;
};

// Local file: mode 2 writes a new content for it (beside it, put in its
// place by Close(), synced as `durability` says), mode 1 opens it for
// reading, only when it is a regular file (kkOpenRegularFile, kkfileio.h).
// Deleting the stream without Close() leaves the target as it was.
class IntfXmlFileStream : public IntfXmlIOStream {
public:
    explicit IntfXmlFileStream(const char* path, int mode = 2,
                               kkDurability durability = kkDurability::Durable);
    ~IntfXmlFileStream() override;

protected:
    long ReadHook(char* buffer, size_t wanted) override;
    long WriteHook(const char* data, size_t n) override;
    bool CloseHook() override;
    void DiscardHook() override;

private:
    std::FILE* file_ = nullptr;          // reading
    std::unique_ptr<kkAtomicFile> out_;  // writing
};

// Everything written is kept in memory; reading gives back what was given
// at construction followed by nothing.
class IntfXmlStringStream : public IntfXmlIOStream {
public:
    IntfXmlStringStream();
    explicit IntfXmlStringStream(std::string input);
    ~IntfXmlStringStream() override;

    // Bytes written and flushed so far (call Flush or Close first).
    const std::string& Output() const { return out_; }

protected:
    long ReadHook(char* buffer, size_t wanted) override;
    long WriteHook(const char* data, size_t n) override;
    bool CloseHook() override;

private:
    std::string in_;
    size_t inPos_ = 0;
    std::string out_;
};

// ---- "bnfs:" locations -----------------------------------------------------------

// One open document of the "bnfs" location, as the client runtime serves
// it. The opener gives ownership of a new file, or null when the path cannot
// be opened (with the reason in *error when that is not null).
class IntfXmlBnfsFile {
public:
    virtual ~IntfXmlBnfsFile();
    // Bytes read (> 0), 0 at the end, negative on failure.
    virtual long Read(char* buffer, size_t wanted) = 0;
    // Bytes written; fewer than n is a failure.
    virtual long Write(const char* data, size_t n) = 0;
    // False when closing failed (the document is then incomplete).
    virtual bool Close() = 0;
    // Why the last read, write or close failed ("" when it is not known).
    virtual std::string Error() const { return std::string(); }
};

// mode 1: open for reading; mode 2: create for writing.
using IntfXmlBnfsOpener = IntfXmlBnfsFile* (*)(const char* path, int mode, std::string* error);

// Registers the opener of "bnfs:" paths (null removes it); returns the
// previous one. Thread-safe.
IntfXmlBnfsOpener IntfXmlRegisterBnfsOpener(IntfXmlBnfsOpener opener);
IntfXmlBnfsOpener IntfXmlGetBnfsOpener();

// True for a path of the "bnfs" location ("bnfs:" prefix).
bool IntfXmlIsBnfsPath(const char* path);

class IntfXmlBnfsStream : public IntfXmlIOStream {
public:
    IntfXmlBnfsStream(const char* path, int mode);
    ~IntfXmlBnfsStream() override;

protected:
    long ReadHook(char* buffer, size_t wanted) override;
    long WriteHook(const char* data, size_t n) override;
    bool CloseHook() override;
    void DiscardHook() override;

private:
    std::unique_ptr<IntfXmlBnfsFile> file_;
    int mode_;
};

// The output stream for a document path ("bnfs:" or local file, synced as
// `durability` says), open and ready; throws IntfXmlError
// (INTFXML_ERR_OPEN) when it cannot be opened.
std::unique_ptr<IntfXmlIOStream> IntfXmlOpenOutput(const char* path,
                                                   kkDurability durability = kkDurability::Durable);
// Flushes and closes; throws IntfXmlError (INTFXML_ERR_WRITE) when anything
// written to the stream was lost.
void IntfXmlCloseOutput(IntfXmlIOStream& stream, const char* path);

// ---- input side of "bnfs:" documents ------------------------------------------------

// Hands the parser the stream's bytes one token at a time: everything up to
// and including the next ">", or one text line up to and including its
// newline (a token longer than the parser's buffer over several calls, so
// that nothing of it is held here). Whitespace before the first character is skipped; after a token
// ending in "</SOAP-ENV:Envelope>" only whitespace may follow, anything else
// throws IntfXmlError "Read past the end".
class IntfXmlMemBinInputStream : public XERCES_CPP_NAMESPACE::BinInputStream {
public:
    explicit IntfXmlMemBinInputStream(IntfXmlIOStream* stream);
    ~IntfXmlMemBinInputStream() override;

    XMLFilePos curPos() const override { return pos_; }
    XMLSize_t readBytes(XMLByte* toFill, XMLSize_t maxToRead) override;
    const XMLCh* getContentType() const override { return nullptr; }

private:
    // The next bytes of the token into `buffer`: up to its end, or `size`
    // bytes of it (the rest comes with the next calls).
    size_t FillToken(char* buffer, size_t size);

    IntfXmlIOStream* stream_;
    uint64_t pos_ = 0;
    bool tokenNonSpace_ = false; // the token so far holds more than whitespace
    char tail_[20];              // the token's last bytes (the envelope's end tag is 20)
    size_t tailLen_ = 0;
    bool envelopeEnded_ = false;
    bool atStart_ = true;
};

class IntfXmlMemInputSource : public XERCES_CPP_NAMESPACE::InputSource {
public:
    explicit IntfXmlMemInputSource(IntfXmlIOStream* stream);
    ~IntfXmlMemInputSource() override;
    XERCES_CPP_NAMESPACE::BinInputStream* makeStream() const override;

private:
    IntfXmlIOStream* stream_;
};

// A received "bnfs:" document. GetInputSource opens it (mode 1) and returns
// the input source to give to the parser; the holder keeps both and must
// outlive the parse. Throws IntfXmlError (INTFXML_ERR_OPEN) when the
// document cannot be opened.
class IntfXmlBnfsInput {
public:
    explicit IntfXmlBnfsInput(const char* path);
    ~IntfXmlBnfsInput();
    IntfXmlBnfsInput(const IntfXmlBnfsInput&) = delete;
    IntfXmlBnfsInput& operator=(const IntfXmlBnfsInput&) = delete;

    XERCES_CPP_NAMESPACE::InputSource* GetInputSource();

private:
    btkString path_;
    std::unique_ptr<IntfXmlBnfsStream> stream_;
    std::unique_ptr<IntfXmlMemInputSource> source_;
};
