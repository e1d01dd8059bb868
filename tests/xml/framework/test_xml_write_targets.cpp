// Documents never destroy what they are written over: the interface-data
// document, the side documents and the transfer dump replace their target
// only when whole, leave it as it was after any failure, and refuse a
// target that is not a regular file without touching it.
#include "xml/xml_test_util.h"

#include "xml/intfdata_fixtures.h"
#include "kernel/records/wide_name.h"
#include "xml/side_documents/side_documents.h"
#include "xml/framework/xml_document.h"
#include "xml/framework/xml_tempdir.h"
#include "xml/intfdata/xml_zpi.h"

#include "btk_quoted.h"
#include "file_targets.h"
#include "kkfileio.h"
#include "xmemory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

using namespace filetargets;

namespace {

// Every document writer of the library, each writing `lines` items of
// text into `path`.
struct Writer {
    const char* what;
    std::function<void(const char* path, int lines)> write;
};

std::vector<Writer> Writers() {
    return {
        {"interface data",
         [](const char* path, int) {
             qel_intf_data* data = zpifix::fullIntfData();
             try {
                 IntfXmlZPI{path, data, nullptr};
             } catch (...) {
                 qel_intf_data_free(data);
                 throw;
             }
             qel_intf_data_free(data);
         }},
        {"import layers",
         [](const char* path, int lines) {
             auto* layers =
                 static_cast<atb_import_layer*>(xar_alloc(lines, sizeof(atb_import_layer), 10));
             for (int i = 0; i < lines; ++i) {
                 layers[i] = atb_import_layer{i, 1, {}, {}, 1, 2, 3, 4};
                 kname::Write(layers[i].Name, ATB_LAYER_NAME_LEN, "LAYER");
             }
             try {
                 IntfXmlAtbImportLayers{path, layers};
             } catch (...) {
                 xar_free(layers);
                 throw;
             }
             xar_free(layers);
         }},
        {"translation log",
         [](const char* path, int lines) {
             std::vector<std::string> texts(size_t(lines), "a line of the translation log");
             std::vector<const char*> ptrs;
             for (const std::string& t : texts)
                 ptrs.push_back(t.c_str());
             IntfXmlLogLines{path, ptrs.data(), int(ptrs.size())};
         }},
        {"translation options",
         [](const char* path, int lines) {
             IntfXmlOptionList options;
             for (int i = 0; i < lines; ++i)
                 options.SetInteger(("option" + std::to_string(i)).c_str(), i);
             IntfXmlTranslationOptions{path, options};
         }},
        {"assembly information",
         [](const char* path, int lines) {
             auto* info = static_cast<qel_model_basic_info*>(getmem(sizeof(qel_model_basic_info)));
             kname::Write(info->name, QEL_PATH_LEN, "assembly");
             for (int i = 0; i < lines; ++i) {
                 qel_model_component_info c{};
                 c.id = uint32_t(i);
                 xar_alloc_or_append(info->components, int(sizeof c), 10, 1, &c);
             }
             try {
                 IntfXmlModel{path, info};
             } catch (...) {
                 IntfXmlFreeModelInfo(info);
                 throw;
             }
             IntfXmlFreeModelInfo(info);
         }},
    };
}

TEST(XmlWriteTargets, AFailedRewriteLeavesEveryDocumentAsItWas) {
    ScratchDir dir;
    for (const Writer& w : Writers()) {
        const std::string path = dir.Path(std::string(w.what) + ".xml");
        w.write(path.c_str(), 3);
        const std::string old = ReadAll(path);
        ASSERT_GT(old.size(), 100u) << w.what;
        // A longer document that cannot be written past 100 bytes.
        const int code = RunWithFileSizeLimit(100, [&] {
            return xmltest::ErrorOf([&] { w.write(path.c_str(), 200); }) == INTFXML_ERR_WRITE ? 0 : 1;
        });
        EXPECT_EQ(code, 0) << w.what << ": the write should have failed";
        EXPECT_EQ(ReadAll(path), old) << w.what;
    }
    // Nothing was left beside the documents.
    EXPECT_EQ(dir.Names().size(), Writers().size());
}

TEST(XmlWriteTargets, EveryDocumentIsSyncedAndSoIsItsFolder) {
#ifndef ZPI_TEST_HOOKS
    GTEST_SKIP() << "the sync counters are test switches: build with ZPI_TEST_HOOKS";
#else
    ScratchDir dir;
    auto syncs = [] {
        return std::make_pair(kkFileTestHooks::FileSyncs(), kkFileTestHooks::FolderSyncs());
    };
    for (const Writer& w : Writers()) {
        const auto before = syncs();
        w.write(dir.Path(std::string(w.what) + ".xml").c_str(), 3);
        EXPECT_EQ(syncs(), std::make_pair(before.first + 1, before.second + 1)) << w.what;
    }
    const auto before = syncs();
    ASSERT_TRUE(IntfXmlCopyDocument(dir.Path("interface data.xml").c_str(),
                                    dir.Path("transferred.xml").c_str()));
    EXPECT_EQ(syncs(), std::make_pair(before.first + 1, before.second + 1)) << "transfer dump";
#endif
}

TEST(XmlWriteTargets, EveryWriterSaysWhereAndWhyItCannotWrite) {
    ScratchDir dir(Reach::OtherUsers);
    if (!dir.Made())
        GTEST_SKIP() << kNoFolderForOthers;
    ASSERT_EQ(::chmod(dir.Path("").c_str(), 0755), 0);
    const std::string locked = dir.Path("locked");
    ASSERT_TRUE(MakeFolder(locked, 0555));
    const std::string full = dir.Path("full");
    ASSERT_EQ(::mkdir(full.c_str(), 0755), 0);
    for (const Writer& w : Writers()) {
        auto says = [&](const std::string& path, int status, const std::string& reason) {
            std::string message;
            const int got = xmltest::ErrorOf([&] { w.write(path.c_str(), 3); }, &message);
            const bool told = got == status && message.find(btkQuoted(path)) != std::string::npos &&
                              message.find(reason) != std::string::npos;
            if (!told)
                std::fprintf(stderr, "%s: status %d: %s\n", w.what, got, message.c_str());
            return told;
        };
        const std::string missing = dir.Path("no/such/folder/doc.xml");
        EXPECT_TRUE(says(missing, INTFXML_ERR_OPEN, "No such file or directory"));
        EXPECT_TRUE(says(locked, INTFXML_ERR_OPEN, "(a directory)"));
        const int notRoot = RunAsUser([&] {
            return says(locked + "/doc.xml", INTFXML_ERR_OPEN, "the folder is not writable") ? 0 : 1;
        });
        if (notRoot != kChildSetupFailed) {
            EXPECT_EQ(notRoot, 0) << w.what;
        }
        const int fullDisk = RunOnFullDisk(full, [&] {
            return says(full + "/doc.xml", INTFXML_ERR_WRITE, "No space left on device") ? 0 : 1;
        });
        if (fullDisk != kChildSetupFailed) {
            EXPECT_EQ(fullDisk, 0) << w.what;
        }
    }
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"full", "locked"}));
}

TEST(XmlWriteTargets, ADocumentGivenUpHalfWayLeavesTheOldOne) {
    ScratchDir dir;
    const std::string path = dir.Path("log.xml");
    const char* line[] = {"kept"};
    IntfXmlLogLines{path.c_str(), line, 1};
    const std::string old = ReadAll(path);
    EXPECT_THROW(IntfXmlWriteDocument(path.c_str(),
                                      [] {
                                          IntfXmlWriter::Current().StartElement("LogLines");
                                          throw std::runtime_error("a record the writer refuses");
                                      }),
                 std::runtime_error);
    EXPECT_EQ(ReadAll(path), old);
    // The next document is whole.
    const char* other[] = {"next"};
    IntfXmlLogLines{path.c_str(), other, 1};
    EXPECT_EQ(IntfXmlLogLines::Read(path.c_str()).at(0).text, "next");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"log.xml"});
}

// A "bnfs:" location that keeps what a document sends at its close.
struct SendingFile : IntfXmlBnfsFile {
    static std::string sent;
    static int closes;
    std::string data;
    long Read(char*, size_t) override { return 0; }
    long Write(const char* bytes, size_t n) override {
        data.append(bytes, n);
        return long(n);
    }
    bool Close() override {
        ++closes;
        sent = data;
        return true;
    }
};
std::string SendingFile::sent;
int SendingFile::closes = 0;

IntfXmlBnfsFile* OpenSending(const char*, int, std::string*) { return new SendingFile; }

TEST(XmlWriteTargets, OnlyTheCloseOfAStreamPublishesWhatWasWritten) {
    ScratchDir dir;
    const std::string path = dir.Path("doc.xml");
    WriteAll(path, "old document");
    // Dropped half-way (an exception, an early return): the old target
    // stays, no new target appears, nothing is left beside them.
    {
        std::unique_ptr<IntfXmlIOStream> s = IntfXmlOpenOutput(path.c_str());
        s->Write("<half");
        ASSERT_TRUE(s->Flush());
    }
    { IntfXmlFileStream s(dir.Path("new.xml").c_str()); s.Write("<half"); }
    EXPECT_EQ(ReadAll(path), "old document");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"doc.xml"});
    {
        IntfXmlFileStream s(path.c_str());
        s.Write("<whole/>");
        EXPECT_TRUE(s.Close());
    }
    EXPECT_EQ(ReadAll(path), "<whole/>");

    // A "bnfs:" document is sent by its close only.
    IntfXmlBnfsOpener saved = IntfXmlRegisterBnfsOpener(&OpenSending);
    SendingFile::sent.clear();
    SendingFile::closes = 0;
    { IntfXmlBnfsStream s("bnfs://h:1/ZPI/a.xml", 2); s.Write("<half"); }
    EXPECT_EQ(SendingFile::closes, 0);
    {
        IntfXmlBnfsStream s("bnfs://h:1/ZPI/a.xml", 2);
        s.Write("<whole/>");
        EXPECT_TRUE(s.Close());
    }
    EXPECT_EQ(SendingFile::closes, 1);
    EXPECT_EQ(SendingFile::sent, "<whole/>");
    // A document read is closed when its stream goes.
    { IntfXmlBnfsStream s("bnfs://h:1/ZPI/a.xml", 1); EXPECT_EQ(s.Get(), -1); }
    EXPECT_EQ(SendingFile::closes, 2);
    IntfXmlRegisterBnfsOpener(saved);
}

TEST(XmlWriteTargets, TargetsThatAreNotRegularFilesAreRefusedAndKept) {
    ScratchDir dir;
    const std::string fifo = dir.Path("pipe.xml");
    ASSERT_TRUE(MakeFifo(fifo));
    const std::string device = dir.Path("null.xml");
    const bool haveDevice = MakeNullDevice(device);
    for (const Writer& w : Writers()) {
        std::string message;
        // Refused at once, without waiting for a reader of the fifo.
        EXPECT_EQ(xmltest::ErrorOf([&] { w.write(fifo.c_str(), 2); }, &message), INTFXML_ERR_OPEN)
            << w.what;
        EXPECT_NE(message.find(btkQuoted(fifo) + " is not a regular file (a FIFO)"),
                  std::string::npos)
            << message;
        EXPECT_TRUE(IsFifo(fifo)) << w.what;
        if (haveDevice) {
            EXPECT_EQ(xmltest::ErrorOf([&] { w.write(device.c_str(), 2); }), INTFXML_ERR_OPEN);
            EXPECT_TRUE(IsCharDevice(device)) << w.what;
        }
    }
    // The transfer dump leaves them alone too.
    const std::string src = dir.Path("source.xml");
    WriteAll(src, "<a/>");
    EXPECT_FALSE(IntfXmlCopyDocument(src.c_str(), fifo.c_str()));
    EXPECT_TRUE(IsFifo(fifo));
    if (haveDevice) {
        EXPECT_FALSE(IntfXmlCopyDocument(src.c_str(), device.c_str()));
        EXPECT_TRUE(IsCharDevice(device));
    }
}

// A "bnfs:" document that breaks off after its first 700 bytes.
struct BrokenFile : IntfXmlBnfsFile {
    size_t given = 0;
    long Read(char* buffer, size_t wanted) override {
        if (given >= 700)
            return -1;
        const size_t n = std::min<size_t>(wanted, 700 - given);
        std::memset(buffer, 'x', n);
        given += n;
        return long(n);
    }
    long Write(const char*, size_t) override { return -1; }
    bool Close() override { return true; }
};

IntfXmlBnfsFile* OpenBroken(const char*, int mode, std::string*) {
    return mode == 1 ? new BrokenFile : nullptr;
}

TEST(XmlStreams, AReadFailureIsToldApartFromTheEnd) {
    IntfXmlStringStream whole("abc");
    char buffer[8];
    EXPECT_EQ(whole.Read(buffer, sizeof buffer), 3u);
    EXPECT_EQ(whole.Read(buffer, sizeof buffer), 0u);
    EXPECT_TRUE(whole.Good());

    IntfXmlBnfsOpener saved = IntfXmlRegisterBnfsOpener(&OpenBroken);
    IntfXmlBnfsStream broken("bnfs://h:1/ZPI/doc.xml", 1);
    std::string got;
    for (size_t n; (n = broken.Read(buffer, sizeof buffer)) > 0;)
        got.append(buffer, n);
    IntfXmlRegisterBnfsOpener(saved);
    EXPECT_EQ(got.size(), 700u);
    EXPECT_FALSE(broken.Good());
    EXPECT_EQ(broken.Error(), "reading failed");
}

TEST(XmlWriteTargets, TheTransferDumpReplacesTheLastCopyOnlyWithAWholeOne) {
    ScratchDir dir;
    const std::string dump = dir.Path("transferred.xml");
    const std::string src = dir.Path("source.xml");
    WriteAll(src, std::string(5000, 's'));
    ASSERT_TRUE(IntfXmlCopyDocument(src.c_str(), dump.c_str()));
    const std::string old = ReadAll(dump);

    // A document that breaks off: no half copy.
    IntfXmlBnfsOpener saved = IntfXmlRegisterBnfsOpener(&OpenBroken);
    EXPECT_FALSE(IntfXmlCopyDocument("bnfs://h:1/ZPI/doc.xml", dump.c_str()));
    IntfXmlRegisterBnfsOpener(saved);
    EXPECT_EQ(ReadAll(dump), old);

    // A copy that cannot be written whole.
    WriteAll(src, std::string(6000, 'n'));
    const int code = RunWithFileSizeLimit(
        1000, [&] { return IntfXmlCopyDocument(src.c_str(), dump.c_str()) ? 1 : 0; });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadAll(dump), old);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"source.xml", "transferred.xml"}));
}

} // namespace
