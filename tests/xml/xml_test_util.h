// Helpers of the XML binding tests: capture what the writer writes, and
// read a document through one reader under a test top reader.
#pragma once

#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_streams.h"
#include "xml/framework/xml_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>

namespace xmltest {

// Writes body() inside a root element "R" and returns what lies between the
// root's start and end tags.
inline std::string WriteInRoot(const std::function<void()>& body) {
    IntfXmlStringStream s;
    {
        IntfXmlWriter w(&s);
        IntfXmlWriter::Use use(w);
        IntfXmlWriting::StartElement("R");
        body();
        IntfXmlWriting::EndElement();
    }
    s.Flush();
    std::string out = s.Output();
    const std::string open = "<R>\n";
    size_t b = out.find(open);
    EXPECT_NE(b, std::string::npos) << out;
    if (b == std::string::npos)
        return out;
    b += open.size();
    const std::string close = "\t</R>";
    EXPECT_GE(out.size(), b + close.size());
    EXPECT_EQ(out.substr(out.size() - close.size()), close);
    return out.substr(b, out.size() - b - close.size());
}

// A top reader that hands its first child element to a reader made by
// `make` and keeps it.
template <class T> class Top : public IntfXmlElement {
public:
    using Maker = std::function<T*(Top*, IntfXmlAttributes&)>;
    explicit Top(Maker make) : make_(std::move(make)) {}
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override {
        if (!started_) { // the document's root
            started_ = true;
            return this;
        }
        child_ = make_(this, attrs);
        (void)name;
        return child_;
    }
    IntfXmlElement* endElement(const char*) override { return nullptr; }
    T* child() const { return child_; }
    template <class U, class... A> U* Make(A&&... args) {
        return MakeChild<U>(std::forward<A>(args)...);
    }

private:
    Maker make_;
    bool started_ = false;
    T* child_ = nullptr;
};

// A top reader that hands the attributes of every element below the root
// to `check`.
struct AttrReader : IntfXmlElement {
    std::function<void(IntfXmlAttributes&)> check;
    bool root = false;
    IntfXmlElement* startElement(const char*, IntfXmlAttributes& a) override {
        if (root)
            check(a);
        root = true;
        PushName("x");
        return this;
    }
    IntfXmlElement* endElement(const char* name) override {
        PopName(name);
        return NamesEmpty() ? nullptr : this;
    }
};

// Parses "<Doc>" + inner + "</Doc>" with the top reader.
inline void Parse(IntfXmlElement& top, const std::string& inner) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Doc>" + inner + "</Doc>";
    IntfXmlParseBuffer(doc.data(), doc.size(), &top, "test");
}

// The status of the IntfXmlError that f throws (0 when it throws none).
inline int ErrorOf(const std::function<void()>& f, std::string* message = nullptr) {
    try {
        f();
    } catch (const IntfXmlError& e) {
        if (message)
            *message = e.Message();
        return e.Status();
    }
    return 0;
}

// An in-memory "bnfs" location: documents written through it are kept by
// path, and read back in pieces of at most Piece bytes, as a connection
// hands them out. Register OpenMem<Piece> as the opener.
template <size_t Piece> std::map<std::string, std::string>& Served() {
    static std::map<std::string, std::string> files;
    return files;
}

template <size_t Piece> struct MemFile : IntfXmlBnfsFile {
    std::string path;
    std::string data;
    size_t pos = 0;
    bool writing;
    MemFile(std::string p, bool w) : path(std::move(p)), writing(w) {
        if (!w)
            data = Served<Piece>()[path];
    }
    long Read(char* buffer, size_t wanted) override {
        size_t n = std::min<size_t>({wanted, data.size() - pos, Piece});
        std::memcpy(buffer, data.data() + pos, n);
        pos += n;
        return long(n);
    }
    long Write(const char* d, size_t n) override {
        data.append(d, n);
        return long(n);
    }
    bool Close() override {
        if (writing)
            Served<Piece>()[path] = data;
        return true;
    }
};

template <size_t Piece> IntfXmlBnfsFile* OpenMem(const char* path, int mode, std::string* error) {
    if (mode == 1 && !Served<Piece>().count(path)) {
        *error = "no such document";
        return nullptr;
    }
    return new MemFile<Piece>(path, mode == 2);
}

} // namespace xmltest
