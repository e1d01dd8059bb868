// Documents that a request cannot read or hand over are told on standard
// error, with the path and the reason. A request whose document was not
// handed over is not sent (100).
#include "client/fake_host.h"
#include "client/zr_bnfs.h"
#include "client/zr_callback.h"
#include "client/zr_client.h"
#include "client/zr_proxy.h"
#include "api/kpi_session.h"
#include "api/zpi50_client.h"
#include "btk_quoted.h"
#include "file_targets.h"
#include "quoted_text.h"

#include "kernel/records/qel_routines.h"
#include "uniloc.h"
#include "xml/framework/xml_element.h"
#include "xml/intfdata/xml_zpi.h"
#include "xml/intfdata_fixtures.h"
#include "xml/side_documents/side_documents.h"

#include "xmemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>

namespace {

using filetargets::ScratchDir;

class DocumentFailures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.Ok());
        proxy = new ZorvanProxy();
        ASSERT_TRUE(proxy->Connect(btkString(host.Url())));
    }

    zr_test::FakeHost host;
    xrchandle<ZorvanProxy> proxy;
    ScratchDir dir;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(DocumentFailures, DocumentsReceivedThatCannotBeReadAreTold) {
    const std::string empty = dir.Path("layers.xml");
    filetargets::WriteAll(empty, "");
    const std::string broken = dir.Path("options.xml");
    filetargets::WriteAll(broken, "<TranslationOptions size=\"1\">\n<Option Name=\"a\"");
    const std::string missing = dir.Path("missing.xml");

    atb_import_layer* layers = nullptr;
    host.Script({"0\n" + empty});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->GetAtbImportLayers(3, &layers), 100);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "cannot read " + btkQuoted(empty) + ": empty document\n");
    // Well-formed, but not the layer status: told as well.
    const std::string other = dir.Path("other.xml");
    filetargets::WriteAll(other, "<Status><Layer_List/></Status>");
    layers = reinterpret_cast<atb_import_layer*>(&layers); // overwritten
    host.Script({"0\n" + other});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->GetAtbImportLayers(3, &layers), 100);
    EXPECT_EQ(layers, nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "cannot read " + btkQuoted(other) + ": the document holds no \"Layers\"\n");

    // So is an interface-data document that is none (153), as ReadZPI
    // tells it.
    const std::string page = dir.Path("page.xml");
    filetargets::WriteAll(page, "<html/>");
    qel_part_conversion_options partOptions{};
    host.Script({"0\n" + page});
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(proxy->GetQelIntfData(1, &partOptions, nullptr, nullptr));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "cannot read " + btkQuoted(page) +
                  ": not an interface-data document (root element \"html\")\n");

    ZrTranslationOptions* options = nullptr;
    host.Script({"0\n" + broken});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->GetTranslationOptions(&options, 8), 100);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("cannot read " + btkQuoted(broken) + ": line 2, column ", 0), 0u) << said;

    qel_model_basic_info* info = nullptr;
    host.Script({"0\n" + missing + "\n"});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->GetAssemblyInfo(4, &info, nullptr), 100);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "cannot open " + btkQuoted(missing) + ": No such file or directory\n");
}

// A path a host names (a carriage return and an escape in it: a line feed
// ends a reply field), a local one or a "bnfs:" one, is quoted whole on the
// told line's one line and reads back, by the requests answered by a
// document and by request 153.
TEST_F(DocumentFailures, APathAHostNamesIsQuotedOnTheLinesOneLine) {
    const std::string paths[] = {dir.Path("a\r\x1B[2K\\x0A.xml"),
                                 host.Url() + "ZPI/a\r\x1B[2K" + std::string(200, 'b') + ".xml"};
    qel_part_conversion_options partOptions{};
    for (const std::string& path : paths) {
        atb_import_layer* layers = nullptr;
        host.Script({"0\n" + path});
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(proxy->GetAtbImportLayers(3, &layers), 100);
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(::testing::internal::GetCapturedStderr(), path));
        host.Script({"0\n" + path});
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(proxy->GetQelIntfData(1, &partOptions, nullptr, nullptr));
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(::testing::internal::GetCapturedStderr(), path));
    }
}

TEST_F(DocumentFailures, DocumentsThatCannotBeHandedOverAreTold) {
    // Handed over in the temporary folder, where a folder stands in the
    // way of each document.
    const char* oldTmp = std::getenv("TMP");
    const std::string keepTmp = oldTmp ? oldTmp : "";
    std::string folder = dir.Path("");
    folder.pop_back(); // the trailing "/"
    ::setenv("TMP", folder.c_str(), 1);
    ::setenv("GG_TEMP_FILE", "", 1);
    for (const char* name : {"TranslationLog.xml", "assemInfo.xml", "atbLayers.xml", "zpi.neu"})
        ASSERT_EQ(::mkdir(dir.Path(name).c_str(), 0755), 0);
    auto blocked = [&](const char* name) {
        return btkQuoted(dir.Path(name)) + " is not a regular file (a directory)";
    };

    auto** lines = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
    lines[0] = "one";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->SendTranslationLog(lines), 100);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Has(said, "request 178 not sent: ")) << said;
    EXPECT_TRUE(Has(said, blocked("TranslationLog.xml"))) << said;
    xar_free(reinterpret_cast<void**>(&lines));

    auto* info = static_cast<qel_model_basic_info*>(getmem(sizeof(qel_model_basic_info)));
    std::memcpy(info->name, u"top", sizeof u"top");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->SendAssemblyInfo(1, info, 2, 3, 0.1), 100);
    said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Has(said, "request 159 not sent: ")) << said;
    EXPECT_TRUE(Has(said, blocked("assemInfo.xml"))) << said;
    rlsmem(info);

    auto* layers = static_cast<atb_import_layer*>(xar_alloc(1, sizeof(atb_import_layer), 1));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->SetAtbImportLayers(2, layers), 100);
    said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Has(said, "request 160 not sent: ")) << said;
    EXPECT_TRUE(Has(said, blocked("atbLayers.xml"))) << said;
    xar_free(reinterpret_cast<void**>(&layers));

    // The neutral file likewise.
    qel_intf_data* data = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&data), 0);
    ZrSetImportFormat(0);
    int feature = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, data, nullptr, &feature), 100);
    said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Has(said, "request 103 not sent: " + blocked("zpi.neu"))) << said;
    EXPECT_EQ(host.Count(), 0u);
    qel_intf_data_free(data);

    if (oldTmp)
        ::setenv("TMP", keepTmp.c_str(), 1);
    else
        ::unsetenv("TMP");
    ::unsetenv("GG_TEMP_FILE");
}

TEST(BnfsDocumentFailures, ADocumentThatFailsPartWayKeepsTheGoodCopyAndSaysWhy) {
#ifndef ZPI_TEST_HOOKS
    GTEST_SKIP() << "the document limits are test switches: build with ZPI_TEST_HOOKS";
#else
    zr_test::FakeHost host;
    ASSERT_TRUE(host.Ok());
    ::unsetenv("GG_TEMP_FILE");
    xrchandle<ZorvanProxy> proxy = ZrInitializeClient(host.Url().c_str());
    ASSERT_TRUE(proxy);
    const std::string url = ZrGetCallbackUrl().str();
    unimemlocation* mem = unimemlocation::GetRegistered();
    auto stored = [&](const char* name) {
        std::string bytes;
        EXPECT_TRUE(mem->ReadFile((std::string("/ZPI/") + name).c_str(), bytes, nullptr)) << name;
        return bytes;
    };

    // The good copies: a small document, and its hand-over in either format.
    qel_intf_data* small = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&small), 0);
    { IntfXmlZPI writer((url + "model.xml").c_str(), small); }
    int feature = 0;
    for (int format : {0, 1}) {
        ZrSetImportFormat(format);
        ASSERT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, small, nullptr, &feature), 0);
    }
    qel_intf_data_free(small);
    const char* names[] = {"model.xml", "zpi.neu", "zpi.xml"};
    std::vector<std::string> good;
    for (const char* name : names)
        good.push_back(stored(name));
    const size_t sent = host.Count();
    // And a document on the host's side, written through a connection.
    unimemlocation hostFiles("host-files");
    ASSERT_TRUE(hostFiles.MakeDirectory("/ZPI", 0, nullptr));
    ASSERT_TRUE(hostFiles.WriteFile("/ZPI/model.xml", good[0].data(), good[0].size(), nullptr));
    host.ServeFiles(&hostFiles);

    // A larger model then fails part-way, by either cause.
    qel_intf_data* data = zpifix::fullIntfData();
    { IntfXmlZPI writer((url + "large.xml").c_str(), data); }
    qel_intf_data_free(data);
    xrchandle<KWPIModel> model = KGetPISession()->ReadZPI((url + "large.xml").c_str());
    ASSERT_TRUE(model);
    const struct {
        size_t limit;
        int64_t blocks;
        std::string reason;
    } cases[] = {
        {1000, -1, "the document is larger than a bnfs transfer can carry (1000 bytes)"},
        {0, 0, "no memory for the document"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        ZrBnfsTestHooks::SetDocumentLimit(c.limit);
        ZrBnfsTestHooks::RefuseBlocksAfter(c.blocks);
        for (const std::string& path : {url + "model.xml", host.Url() + "ZPI/model.xml"}) {
            std::string raised;
            try {
                model->WriteZPI(path.c_str());
            } catch (const xthrown& e) {
                raised = e.what();
            }
            EXPECT_TRUE(Has(raised, btkQuoted(path))) << raised;
            EXPECT_TRUE(Has(raised, c.reason)) << raised;
        }
        for (int format : {0, 1}) {
            ZrSetImportFormat(format);
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, model, nullptr, &feature), 100);
            const std::string said = ::testing::internal::GetCapturedStderr();
            EXPECT_TRUE(Has(said, "request 103 not sent: ")) << said;
            EXPECT_TRUE(Has(said, c.reason)) << said;
        }
        ZrBnfsTestHooks::SetDocumentLimit(0);
        ZrBnfsTestHooks::RefuseBlocksAfter(-1);
        for (size_t i = 0; i < good.size(); ++i)
            EXPECT_EQ(stored(names[i]), good[i]) << names[i];
        std::string onHost;
        EXPECT_TRUE(hostFiles.ReadFile("/ZPI/model.xml", onHost, nullptr));
        EXPECT_EQ(onHost, good[0]);
        EXPECT_EQ(host.Count(), sent);
    }
    host.ServeFiles(nullptr);
    model.release();
    ZrSetImportFormat(0);
    proxy.release();
    ZrShutdownClient();
#endif
}

} // namespace
