// Request members of ZorvanProxy against a stand-in host on the loopback
// address: the exact request texts, and what each reply (malformed ones
// included) gives the caller.
#include "client/fake_host.h"
#include "client/zr_callback.h"
#include "client/zr_client.h"
#include "client/zr_options.h"
#include "client/zr_proxy.h"
#include "api/zpi50_client.h"
#include "file_targets.h"
#include "quoted_text.h"

#include "api/kpi_interfaces.h"
#include "kernel/model/model.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "neutral/neutral_convert.h"
#include "xml/framework/xml_streams.h"
#include "xml/intfdata/xml_zpi.h"
#include "xml/side_documents/side_documents.h"
#include "xml/intfdata_fixtures.h"
#include "memory_stream.h"
#include "forwarding_objects.h"
#include "kernel/model/every_kind_model.h"

#include "neutral/neutral_messages.h"
#include "xmemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using zr_test::FakeHost;

class Requests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.Ok());
        proxy = new ZorvanProxy();
        ASSERT_TRUE(proxy->Connect(btkString(host.Url())));
    }

    FakeHost host;
    xrchandle<ZorvanProxy> proxy;
};

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("zr_requests_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

// ---- model and job requests ----------------------------------------------------

TEST_F(Requests, NameValueRequestsTextAndReplies) {
    int out = -7;
    host.Script({"0"});
    EXPECT_EQ(proxy->GetCurrentModel(7, &out), 0);
    EXPECT_EQ(host.Last(), "105\n7");

    host.Script({"0\n42", "5", "x\n3", "0\nabc"});
    EXPECT_EQ(proxy->CreateModel("m", 3, &out), 0);
    EXPECT_EQ(host.Last(), "101\nm\n3");
    EXPECT_EQ(out, 42);
    EXPECT_EQ(proxy->CreateModel("m", 3, &out), 5); // status only: out untouched
    EXPECT_EQ(out, 42);
    EXPECT_EQ(proxy->InitSolid("s", 1, &out), -1); // status not a number
    EXPECT_EQ(host.Last(), "106\ns\n1");
    EXPECT_EQ(out, 42);
    EXPECT_EQ(proxy->CreateModel("m", 3, &out), 0); // value not a number
    EXPECT_EQ(out, -1);

    host.Script({"0\n8"});
    EXPECT_EQ(proxy->IntfimportModelCreate("a", 1, 2, "b", &out), 0);
    EXPECT_EQ(host.Last(), "181\na\n1\n2\nb");
    EXPECT_EQ(out, 8);
    EXPECT_EQ(proxy->IntfimportSourceTypeGet("a", 4, nullptr), 0);
    EXPECT_EQ(host.Last(), "182\na\n4");
}

TEST_F(Requests, TextHoldingLineFeedIsNeverSent) {
    // Refused before sending: the answer of a request that did not go out.
    int out = 3;
    EXPECT_EQ(proxy->CreateModel("a\nb", 1, &out), 100);
    EXPECT_EQ(proxy->PostImportFunction(1, "x\ny", 2, 3, 4, false), 100);
    EXPECT_EQ(proxy->IsModelUsed(1, "a\nb"), 1);
    EXPECT_EQ(proxy->SetComponentLayer(1, 2, "a\nb"), 100);
    EXPECT_EQ(proxy->QelGetModelUnit(1, 2, nullptr, nullptr, nullptr), 0); // group C, sent
    EXPECT_EQ(host.Count(), 1u);
    EXPECT_EQ(out, 3);
    // A notice of several lines still goes out, as one line.
    proxy->NotifyException("first\nsecond");
    EXPECT_EQ(host.Last(), "104\nfirst second");
}

TEST_F(Requests, SpecialReplyShapes) {
    host.Script({"0\n", "12", "n\n1", "abc", "3"});
    EXPECT_EQ(proxy->TerminateAssembly(2), -1); // the whole reply must be a number
    EXPECT_EQ(host.Last(), "107\n2");
    EXPECT_EQ(proxy->TerminateAssembly(2), 12);
    EXPECT_EQ(proxy->IsModelUsed(4, "n"), 0); // field 0 is the value
    EXPECT_EQ(host.Last(), "109\nn\n4");
    EXPECT_EQ(proxy->IsModelUsed(4, "n"), 0);
    EXPECT_EQ(proxy->IsModelUsed(4, "n"), 3);

    host.Script({"0", "2"});
    EXPECT_TRUE(proxy->RegisterClient("bnfs://127.0.0.1:1/ZPI/", 4242));
    EXPECT_EQ(host.Last(), "111\nbnfs://127.0.0.1:1/ZPI/\n4242");
    EXPECT_FALSE(proxy->RegisterClient("u", 1));

    host.Clear();
    EXPECT_EQ(proxy->PostImportFunction(1, "t", 2, 3, 4, true), 0);
    EXPECT_EQ(host.Last(), "158\n1\nt\n2\n3\n4\n1\n");
    proxy->NotifyFinish();
    EXPECT_EQ(host.Last(), "108");
}

TEST_F(Requests, AssembleComponentRowsAndOuts) {
    const double matrix[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.1, 0, -2.5}};
    int first = 9, second = 9;
    host.Script({"0\n5\nq"});
    EXPECT_EQ(proxy->AssembleComponent(1, 2, matrix, 3, &first, &second), 0);
    EXPECT_EQ(host.Last(), "102\n1\n2\n1 0 0\n0 1 0\n0 0 1\n0.100000000000000006 0 -2.5\n3");
    EXPECT_EQ(first, 5);
    EXPECT_EQ(second, 0); // not a number reads as 0

    host.Script({"7"});
    first = second = 9;
    EXPECT_EQ(proxy->AssembleComponent(1, 2, matrix, 3, &first, &second), 7);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(proxy->AssembleComponent(1, 2, matrix, 3, nullptr, nullptr), 0);
    EXPECT_EQ(proxy->AssembleComponent(1, 2, nullptr, 3, &first, &second), -2);
}

TEST(RequestsUnconnected, NothingGoesOut) {
    xrchandle<ZorvanProxy> proxy(new ZorvanProxy());
    int out = 5;
    double d = 2.0;
    char name[8] = "keep";
    EXPECT_EQ(proxy->CreateModel("m", 1, &out), 100);
    EXPECT_EQ(proxy->IsModelUsed(1, "m"), 1);
    EXPECT_FALSE(proxy->RegisterClient("u", 1));
    EXPECT_FALSE(proxy->IsServerAlive());
    EXPECT_EQ(proxy->QelGetModelUnit(1, 2, &out, name, &d), 0); // group C
    EXPECT_EQ(proxy->QelWindowCurrentGet(&out), 100);
    EXPECT_EQ(proxy->HDICSearchImage("img", &out), 0);
    EXPECT_EQ(proxy->CopyFileFromRemote("a", "b"), 100);
    // Requests that did not go out are failures, and leave no stale output.
    const double colour[3] = {1, 0, 0}, shade[6] = {0, 0, 0, 0, 0, 0};
    EXPECT_EQ(proxy->SetComponentColor(1, 2, colour, shade), 100);
    EXPECT_EQ(proxy->SetComponentLayer(1, 2, "l"), 100);
    EXPECT_EQ(proxy->CreateLayer(1, "l", QelLayerDisplay(0), 2), 100);
    atb_import_layer* layers = reinterpret_cast<atb_import_layer*>(&out);
    EXPECT_EQ(proxy->GetAtbImportLayers(1, &layers), 100);
    EXPECT_EQ(layers, nullptr);
    qel_model_basic_info* info = reinterpret_cast<qel_model_basic_info*>(&out);
    qel_intf_data_extend* extension = reinterpret_cast<qel_intf_data_extend*>(&out);
    EXPECT_EQ(proxy->GetAssemblyInfo(1, &info, &extension), 100);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(extension, nullptr);
    ZrTranslationOptions* translation = reinterpret_cast<ZrTranslationOptions*>(&out);
    EXPECT_EQ(proxy->GetTranslationOptions(&translation, 1), 100);
    EXPECT_EQ(translation, nullptr);
    qel_part_conversion_options options{5, 0, 0};
    EXPECT_TRUE(proxy->GetQelIntfData(1, &options, nullptr, nullptr).isNull());
    EXPECT_EQ(out, 5);
    EXPECT_EQ(d, 2.0);
    EXPECT_STREQ(name, "keep");
}

TEST_F(Requests, UrlWithoutPortConnectsNowhere) {
    const int32_t port = proxy->GetPort();
    EXPECT_FALSE(proxy->Connect("bnfs://127.0.0.1/"));
    EXPECT_FALSE(proxy->IsConnected());
    EXPECT_EQ(proxy->GetPort(), port); // left as it was
    int out = 0;
    EXPECT_EQ(proxy->CreateModel("m", 1, &out), 100);
    EXPECT_EQ(host.Count(), 0u);
}

TEST_F(Requests, ServerAliveOnAFreshConnection) {
    EXPECT_TRUE(proxy->IsServerAlive());
    EXPECT_EQ(host.Count(), 0u); // a probe, not a request
}

// ---- host-toolkit requests -----------------------------------------------------

TEST_F(Requests, StatusGroupsAndTheirOuts) {
    int window = 4;
    host.Script({"3"});
    EXPECT_EQ(proxy->QelWindowCurrentGet(&window), 3);
    EXPECT_EQ(host.Last(), "121");
    EXPECT_EQ(window, -1);

    int32_t* csys = nullptr;
    host.Script({"-5\n12", "-4\n12"});
    EXPECT_EQ(proxy->QelGetDefCsys(9, &csys), -5); // group B: -5 fills the out
    EXPECT_EQ(host.Last(), "140\n9");
    ASSERT_NE(csys, nullptr);
    EXPECT_EQ(*csys, 12);
    rlsmem(csys);
    csys = nullptr;
    EXPECT_EQ(proxy->QelGetDefCsys(9, &csys), -4);
    EXPECT_EQ(csys, nullptr);
    host.Script({"-5\n1"});
    EXPECT_EQ(proxy->QelGetFirstCsys(9, &csys), -5); // group A: -5 is a failure
    EXPECT_EQ(csys, nullptr);

    double accuracy = 7.0;
    host.Script({"1\n0.25", "0\n0.25", "1\nx"});
    EXPECT_EQ(proxy->QelGetModelAccuracy(3, &accuracy), 1);
    EXPECT_EQ(accuracy, 0.25);
    EXPECT_EQ(proxy->QelGetModelAccuracy(3, &accuracy), 0);
    EXPECT_EQ(accuracy, 0.0);
    EXPECT_EQ(proxy->QelGetModelAccuracy(3, &accuracy), 1);
    EXPECT_EQ(accuracy, -1.0);

    int id = 0;
    host.Script({"4\n8", "4"});
    EXPECT_EQ(proxy->QelCsysIdGet(&id, &id), 4); // field 1 is read whatever the status
    EXPECT_EQ(id, 8);
    EXPECT_EQ(proxy->QelCsysIdGet(&id, &id), 4);
    EXPECT_EQ(id, -1);

    int count = 3;
    host.Script({"2", "0\nz"});
    EXPECT_EQ(proxy->QelSolidFeatCount(1, &count), 2);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(proxy->QelGetNumofCsys(1, &count), 0);
    EXPECT_EQ(count, -1);

    host.Script({"0", "0\n"});
    EXPECT_EQ(proxy->QelTempPropertyIntSet("p", 5), 0);
    EXPECT_EQ(host.Last(), "118\np\n5");
    EXPECT_EQ(proxy->QelTempPropertyPathSet("p", "/x"), -1); // whole reply is the status
}

TEST_F(Requests, ModelUnitAndCopiedTexts) {
    int type = 0;
    double factor = 0;
    char name[8] = "keep";
    host.Script({"1\n3\nmm\n0.001", "1\n3\nmillimetre\n0.001", "2"});
    EXPECT_EQ(proxy->QelGetModelUnit(1, 2, &type, name, &factor, sizeof name), 1);
    EXPECT_EQ(host.Last(), "144\n1\n2");
    EXPECT_EQ(type, 3);
    EXPECT_STREQ(name, "mm");
    EXPECT_EQ(factor, 0.001);
    // A name longer than the buffer is refused; the buffer keeps its text.
    EXPECT_EQ(proxy->QelGetModelUnit(1, 2, &type, name, &factor, sizeof name),
              ZR_STATUS_TEXT_TOO_LONG);
    EXPECT_STREQ(name, "mm");
    EXPECT_EQ(type, -1);
    EXPECT_EQ(factor, 1.0);
    type = 5;
    EXPECT_EQ(proxy->QelGetModelUnit(1, 2, &type, name, &factor, sizeof name), 2);
    EXPECT_EQ(type, -1);
    // An empty unit name is a field of its own: the factor after it stays
    // the factor.
    host.Script({"1\n4\n\n25.4"});
    EXPECT_EQ(proxy->QelGetModelUnit(1, 2, &type, name, &factor, sizeof name), 1);
    EXPECT_EQ(type, 4);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(factor, 25.4);

    char dir[QEL_PATH_LEN] = "old";
    host.Script({"0\n/work/dir", "0", "9\n/x"});
    EXPECT_EQ(proxy->QelDirectoryCurrentGet(dir), 0);
    EXPECT_STREQ(dir, "/work/dir");
    EXPECT_EQ(proxy->QelDirectoryCurrentGet(dir), 0); // missing field: empty text
    EXPECT_STREQ(dir, "");
    EXPECT_EQ(proxy->QelDirectoryCurrentGet(dir), 9);
    EXPECT_STREQ(dir, "");

    btkString format;
    host.Script({"0\nvalue %0d of %1s"});
    EXPECT_EQ(proxy->QelMessageFormatGet("key", format), 0);
    EXPECT_EQ(host.Last(), "123\nkey");
    EXPECT_STREQ(format.c_str(), "value %0d of %1s");
}

TEST_F(Requests, ModelItemsAndParameters) {
    QelModelitem item{7, 7, nullptr};
    host.Script({"0\n2 9 x", "4"});
    EXPECT_EQ(proxy->QelMdlToModelitem(5, &item), 0);
    EXPECT_EQ(host.Last(), "133\n5");
    EXPECT_EQ(item.type, 2);
    EXPECT_EQ(item.id, 9);
    EXPECT_EQ(item.owner, nullptr); // owner not a number
    EXPECT_EQ(proxy->QelModelitemInit(1, 2, 3, &item), 4);
    EXPECT_EQ(host.Last(), "142\n1\n2\n3");
    EXPECT_EQ(item.type, -1);
    EXPECT_EQ(item.id, -1);

    int32_t owner = 44;
    QelModelitem named{1, 2, &owner};
    char text[QEL_NAME_LEN];
    host.Script({"0\nhole"});
    EXPECT_EQ(proxy->QelModelitemNameGet(&named, text), 0);
    EXPECT_EQ(host.Last(), "146\n1 2 44");
    EXPECT_STREQ(text, "hole");
    EXPECT_EQ(proxy->QelModelitemNameGet(nullptr, text), -2);

    QelParameter param;
    host.Script({"3", "0\n1 len 0 44", "0\n1 dia 1 5 6 7", "0\n1 odd 9 1"});
    EXPECT_EQ(proxy->QelParameterInit(&named, "len", &param), 3);
    EXPECT_EQ(host.Last(), "134\n1 2 44\nlen");
    const auto* bytes = reinterpret_cast<const unsigned char*>(&param);
    for (size_t i = 0; i < sizeof param; ++i)
        ASSERT_EQ(bytes[i], 0xFF) << i;
    EXPECT_EQ(proxy->QelParameterInit(&named, "len", &param), 0);
    EXPECT_EQ(param.type, 1);
    EXPECT_EQ(std::u16string(param.name), u"len");
    EXPECT_EQ(param.owner.kind, 0);
    ASSERT_NE(param.owner.who.model, nullptr);
    EXPECT_EQ(*param.owner.who.model, 44);
    rlsmem(param.owner.who.model);
    EXPECT_EQ(proxy->QelParameterInit(&named, "dia", &param), 0);
    EXPECT_EQ(param.owner.kind, 1);
    EXPECT_EQ(param.owner.who.item.type, 5);
    EXPECT_EQ(param.owner.who.item.id, 6);
    ASSERT_NE(param.owner.who.item.owner, nullptr);
    EXPECT_EQ(*param.owner.who.item.owner, 7);
    rlsmem(param.owner.who.item.owner);
    EXPECT_EQ(proxy->QelParameterInit(&named, "odd", &param), 0);
    EXPECT_EQ(param.owner.kind, 9);
    EXPECT_EQ(param.owner.who.item.id, -1); // owner area filled with 0xFF

    // The parameter sent back as a record text, a text value with a tab for
    // its blank, and the value read back with the blank restored.
    param.owner.kind = 0;
    param.owner.who.model = &owner;
    QelParamvalue value{};
    value.type = QEL_PARAM_STRING;
    std::memcpy(value.value.s_val, u"two words", sizeof u"two words");
    host.Script({"0", "0\n51 back\tagain "});
    EXPECT_EQ(proxy->QelParamReadonlyModify(&param, &value, 3), 0);
    EXPECT_EQ(host.Last(), "137\n1 odd 0 44\n51 two\twords \n3");
    QelParamvalue back{};
    EXPECT_EQ(proxy->QelParameterValueGet(&param, &back), 0);
    EXPECT_EQ(back.type, QEL_PARAM_STRING);
    EXPECT_EQ(std::u16string(back.value.s_val), u"back again");

    host.Script({"0\n50 x ", "0\n53 z ", "0\n52 17 "});
    EXPECT_EQ(proxy->QelParameterValueGet(&param, &back), 0);
    EXPECT_EQ(back.value.d_val, -1.0);
    EXPECT_EQ(proxy->QelParameterValueGet(&param, &back), 0);
    EXPECT_EQ(static_cast<uint16_t>(back.value.l_val), 65535);
    EXPECT_EQ(proxy->QelParameterValueGet(&param, &back), 0);
    EXPECT_EQ(back.value.i_val, 17);

    value.type = QEL_PARAM_DOUBLE;
    value.value.d_val = 0.5;
    host.Script({"-5\n2 made 0 3"});
    EXPECT_EQ(proxy->QelParamReadonlyCreate(&named, "made", &value, 1, &param), -5); // group B
    EXPECT_EQ(host.Last(), "135\n1 2 44\nmade\n50 0.5 \n1");
    EXPECT_EQ(param.type, 2);
    rlsmem(param.owner.who.model);
}

TEST_F(Requests, ExternalDataRecordsAndLists) {
    int32_t model = 12;
    QelExtdataClass klass{&model, {}};
    std::memcpy(klass.name, u"cls", sizeof u"cls");
    QelExtdataSlot slot{&klass, {}, 7};
    int32_t number = 5;
    host.Script({"0"});
    EXPECT_EQ(proxy->QelExtdataSlotWrite(&slot, 1, 1, 2, &number), 0);
    EXPECT_EQ(host.Last(), "131\n12 cls QEL_VALUE_UNUSED 7\n1\n1\n2\n5");
    EXPECT_EQ(proxy->QelExtdataSlotWrite(&slot, 1, 3, 2, u"wide"), 0);
    EXPECT_EQ(host.Last(), "131\n12 cls QEL_VALUE_UNUSED 7\n1\n3\n2\nwide");
    EXPECT_EQ(proxy->QelExtdataSlotWrite(&slot, 1, 9, 2, nullptr), 0);
    EXPECT_EQ(host.Last(), "131\n12 cls QEL_VALUE_UNUSED 7\n1\n9\n2");
    EXPECT_EQ(proxy->QelExtdataSlotWrite(&slot, 1, 2, 2, nullptr), -2);

    host.Script({"0\n12 cls name 31", "6"});
    QelExtdataSlot made{};
    EXPECT_EQ(proxy->QelExtdataSlotCreate(&klass, "name", &made), 0);
    EXPECT_EQ(host.Last(), "130\n12 cls\nname");
    EXPECT_EQ(std::u16string(made.name), u"name");
    EXPECT_EQ(made.id, 31);
    EXPECT_EQ(made.klass, &klass);
    EXPECT_EQ(proxy->QelExtdataSlotCreate(&klass, "name", &made), 6);
    EXPECT_EQ(made.klass, nullptr);
    EXPECT_EQ(made.id, -1);

    int count = 9;
    QelName* names = nullptr;
    host.Script({"0\n0", "0\n5\na b", "0\n1000000000\nx", "0\n-3\nx"});
    EXPECT_EQ(proxy->QelExtdataClassNamesList(4, &count, &names), 0);
    EXPECT_EQ(host.Last(), "128\n4");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
    // Entries only for the names really there, whatever the count claims.
    EXPECT_EQ(proxy->QelExtdataClassNamesList(4, &count, &names), 0);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(xar_count(names), 2);
    EXPECT_EQ(std::u16string(names[1]), u"b");
    xar_free(reinterpret_cast<void**>(&names));
    EXPECT_EQ(proxy->QelExtdataSlotNamesList(&klass, &count, &names), 0);
    EXPECT_EQ(host.Last(), "127\n12 cls");
    ASSERT_EQ(count, 1);
    xar_free(reinterpret_cast<void**>(&names));
    EXPECT_EQ(proxy->QelExtdataClassNamesList(4, &count, &names), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
    // Only the count asked for: the names there are, no array.
    host.Script({"0\n5\na b"});
    EXPECT_EQ(proxy->QelExtdataClassNamesList(4, &count, nullptr), 0);
    EXPECT_EQ(count, 2);

    int32_t* ids = nullptr;
    host.Script({"0\n3\n4 x 6", "2"});
    EXPECT_EQ(proxy->QelExtdataSlotIdsList(&klass, &count, &ids), 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(ids[0], 4);
    EXPECT_EQ(ids[1], -1);
    EXPECT_EQ(ids[2], 6);
    xar_free(reinterpret_cast<void**>(&ids));
    EXPECT_EQ(proxy->QelExtdataSlotIdsList(&klass, &count, &ids), 2);
    EXPECT_EQ(count, 0);

    QelExtdataClass registered{nullptr, {}};
    host.Script({"0\n77 parts", "0\nx parts"});
    EXPECT_EQ(proxy->QelExtdataClassRegister(3, "parts", &registered), 0);
    EXPECT_EQ(host.Last(), "129\n3\nparts");
    ASSERT_NE(registered.model, nullptr);
    EXPECT_EQ(*registered.model, 77);
    rlsmem(registered.model);
    registered.model = nullptr;
    EXPECT_EQ(proxy->QelExtdataClassRegister(3, "parts", &registered), 0);
    EXPECT_EQ(registered.model, nullptr);
}

TEST_F(Requests, MatrixAndMessages) {
    double m[4][3] = {};
    m[3][2] = 99;
    host.Script({"0\n1 0 0\n0 1 0\n0 0 1\n5 6"});
    EXPECT_EQ(proxy->QelGetCsysMatrix(1, 2, m), 0);
    EXPECT_EQ(host.Last(), "145\n1\n2");
    EXPECT_EQ(m[0][0], 1);
    EXPECT_EQ(m[3][0], 5);
    EXPECT_EQ(m[3][1], 6);
    EXPECT_EQ(m[3][2], 99); // missing value: left alone

    int32_t i = 3;
    double d = 0.5;
    ZrMessageArg args[3] = {{ZR_MSGARG_INT, &i}, {ZR_MSGARG_TEXT, "txt"}, {-1, nullptr}};
    host.Script({"0"});
    EXPECT_EQ(proxy->QelMessageShow("msg.txt", "key", 3, args), 0);
    EXPECT_EQ(host.Last(), "124\nmsg.txt\nkey\n3\n3\n1\ntxt\n4\n");
    ZrMessageArg more[2] = {{ZR_MSGARG_DOUBLE, &d}, {ZR_MSGARG_WIDE, u"w"}};
    EXPECT_EQ(proxy->QelMessageShow("f", "k", 2, more), 0);
    EXPECT_EQ(host.Last(), "124\nf\nk\n2\n0.5\n2\nw\n3");
    EXPECT_EQ(proxy->QelMessageShow("f", "k", 11, more), -2);
    proxy->QelMessageClear();
    EXPECT_EQ(host.Last(), "125");
}

// The proxy's wide texts go whole or not at all, told without a C
// function's name, once for a request however many it refuses; its 8-bit
// results are the host's bytes as they came.
TEST_F(Requests, WideTextsGoWholeOrNotAtAllAndByteResultsAreTheHostsOwn) {
    ZrMessageArg args[2] = {{ZR_MSGARG_WIDE, u"ok"}, {ZR_MSGARG_WIDE, u"a\xDC00"}};
    QelParameter param{};
    wscpy(param.name, u"\xD800");
    QelParamvalue value{};
    value.type = QEL_PARAM_STRING;
    wscpy(value.value.s_val, u"\xDC00");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->QelMessageShow("f", "k", 2, args), 100);
    EXPECT_EQ(proxy->QelParamReadonlyModify(&param, &value, 0), 100);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "request 124 not sent: message argument 1 is not whole UTF-16: it holds a lone "
              "surrogate (U+DC00) "
              "at unit 1\n"
              "request 137 not sent: the parameter's name is not whole UTF-16: it holds a lone "
              "surrogate (U+D800) "
              "at unit 0\n");
    EXPECT_EQ(host.Count(), 0u);

    char folder[QEL_PATH_LEN];
    host.Script({"0\n/home/W\xE4rme"});
    EXPECT_EQ(proxy->QelDirectoryCurrentGet(folder), 0);
    EXPECT_STREQ(folder, "/home/W\xE4rme");
}

// ---- documents received ------------------------------------------------------------

class Documents : public Requests {
protected:
    void TearDown() override {
        for (const std::string& p : files)
            std::remove(p.c_str());
    }
    std::string Keep(const std::string& p) {
        files.push_back(p);
        return p;
    }
    std::vector<std::string> files;
};

TEST_F(Documents, InterfaceDataOfAHostModel) {
    std::string path = Keep(TempPath("intf.xml"));
    qel_intf_data* data = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&data), 0);
    data->accuracy_type = 2;
    data->accuracy = 0.01;
    IntfXmlZPI(path.c_str(), data, nullptr);
    qel_intf_data_free(data);

    qel_part_conversion_options options{5, 11, 12};
    qel_intf_data_extend* extension = reinterpret_cast<qel_intf_data_extend*>(&options);
    host.Script({"3\n" + path});
    xrchandle<KWPIModel> model = proxy->GetQelIntfData(9, &options, nullptr, &extension);
    EXPECT_EQ(host.Last(), "153\n9\n0 1 1 11 12 0 0 0 0 0 0 0");
    ASSERT_FALSE(model.isNull()); // the status is not looked at
    EXPECT_EQ(model->GetAccuracy(), 0.01);
    EXPECT_EQ(extension, nullptr);

    qel_model_conversion_options_ext ext{0, {1, 2, 3, 4}, {0.5, 0.25}};
    host.Script({"0\n/no/such/file.xml", "0"});
    EXPECT_TRUE(proxy->GetQelIntfData(9, &options, &ext, &extension).isNull());
    EXPECT_EQ(host.Last(), "153\n9\n0 1 1 11 12 1 1 2 3 4 0.5 0.25");
    EXPECT_TRUE(proxy->GetQelIntfData(9, &options, &ext, &extension).isNull()); // no path
    size_t sent = host.Count();
    EXPECT_TRUE(proxy->GetQelIntfData(9, nullptr, &ext, &extension).isNull());
    EXPECT_EQ(host.Count(), sent);

    // A malformed document: nothing, and nothing leaks.
    std::string bad = Keep(TempPath("bad.xml"));
    std::ofstream(bad) << "<ZPI><QelIntfData";
    host.Script({"0\n" + bad});
    EXPECT_TRUE(proxy->GetQelIntfData(9, &options, nullptr, &extension).isNull());
    EXPECT_EQ(extension, nullptr);
}

TEST_F(Documents, AssemblyInformation) {
    std::string path = Keep(TempPath("asm.xml"));
    auto* info = static_cast<qel_model_basic_info*>(getmem(sizeof(qel_model_basic_info)));
    std::memcpy(info->name, u"asm", sizeof u"asm");
    info->type = 2;
    IntfXmlModel(path.c_str(), info);
    rlsmem(info);

    qel_model_basic_info* read = nullptr;
    host.Script({"0\n" + path + "\n/unused"});
    EXPECT_EQ(proxy->GetAssemblyInfo(4, &read, nullptr), 0);
    EXPECT_EQ(host.Last(), "154\n4");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(std::u16string(read->name), u"asm");
    EXPECT_EQ(read->type, 2u);
    ZorvanProxy::AsmBasicInfoClean(read);
    rlsmem(read);

    // A reply naming one document where two are asked for, or a second one
    // that cannot be read: nothing, not the first record alone, and the
    // cause told. An empty first path is no document either: the second
    // path is not taken for it.
    const std::pair<std::string, std::string> refused[] = {
        {"0\n" + path, "request 154: the host answered status 0, but its reply names no "
                       "interface-data extension document (field 2 is empty)\n"},
        {"0\n" + path + "\n/no/such.xml",
         "cannot open \"/no/such.xml\": No such file or directory\n"},
        {"0\n\n" + path, "request 154: the host answered status 0, but its reply names no "
                         "assembly-information document (field 1 is empty)\n"},
    };
    for (const auto& [reply, told] : refused) {
        host.Script({reply});
        read = reinterpret_cast<qel_model_basic_info*>(&path);
        qel_intf_data_extend* extension = reinterpret_cast<qel_intf_data_extend*>(&path);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(proxy->GetAssemblyInfo(4, &read, &extension), 100);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), told);
        EXPECT_EQ(read, nullptr) << reply;
        EXPECT_EQ(extension, nullptr) << reply;
    }
}

TEST_F(Documents, EveryRequestAnsweredByADocumentTellsWhyItGaveNothing) {
    // Each request called with its outputs set: its answer (100, or 0 for
    // a model) and whether every output came back null.
    qel_part_conversion_options options{5, 11, 12};
    int junk = 0;
    auto set = [&](auto** out) {
        *out = reinterpret_cast<std::remove_reference_t<decltype(*out)>>(&junk);
    };
    const std::pair<int, std::function<std::pair<int, bool>()>> requests[] = {
        {153,
         [&] {
             qel_intf_data_extend* extension;
             set(&extension);
             const bool model = !proxy->GetQelIntfData(9, &options, nullptr, &extension).isNull();
             return std::pair(model ? 0 : 100, !model && !extension);
         }},
        {154,
         [&] {
             qel_model_basic_info* info;
             qel_intf_data_extend* extension;
             set(&info), set(&extension);
             const int status = proxy->GetAssemblyInfo(4, &info, &extension);
             return std::pair(status, !info && !extension);
         }},
        {161,
         [&] {
             atb_import_layer* layers;
             set(&layers);
             const int status = proxy->GetAtbImportLayers(3, &layers);
             return std::pair(status, !layers);
         }},
        {183,
         [&] {
             ZrTranslationOptions* read;
             set(&read);
             const int status = proxy->GetTranslationOptions(&read, 8);
             return std::pair(status, !read);
         }},
    };
    const char* documents[] = {"interface-data", "assembly-information", "import-layer status",
                               "translation-options"};
    for (size_t i = 0; i < std::size(requests); ++i) {
        const auto& [opcode, call] = requests[i];
        const std::string said = "request " + std::to_string(opcode) + ": ";
        const std::string none =
            std::string("its reply names no ") + documents[i] + " document (field 1 is empty)\n";
        // 153 looks at field 1 whatever the status.
        for (const auto& [reply, told] :
             {std::pair<std::string, std::string>{
                  "6", said + (opcode == 153 ? "the host answered status 6, and " + none
                                             : "the host answered status 6\n")},
              {"0", said + "the host answered status 0, but " + none}}) {
            host.Script({reply});
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(call(), std::pair(100, true)) << opcode << " " << reply;
            EXPECT_EQ(::testing::internal::GetCapturedStderr(), told);
        }
    }
    // A status that is no number is quoted on the line's one line, bounded
    // (a carriage return as \x0D).
    host.Script({"x\r" + std::string(1000, 'y')});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(requests[2].second(), std::pair(100, true));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "request 161: the host answered \"x\\x0D" + std::string(74, 'y') +
                  "\"..., which is no status\n");
    // Nothing goes out without a connection: told too.
    proxy = new ZorvanProxy();
    for (const auto& [opcode, call] : requests) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(call(), std::pair(100, true)) << opcode;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "request " + std::to_string(opcode) +
                      ": no reply: the proxy has no connection\n");
    }
}

TEST_F(Documents, LayersAndOptions) {
    std::string path = Keep(TempPath("layers.xml"));
    auto* layers = static_cast<atb_import_layer*>(xar_alloc(2, sizeof(atb_import_layer), 2));
    layers[0].IntfId = 4;
    layers[1].SrfCount = 9;
    std::memcpy(layers[1].Name, u"L2", sizeof u"L2");
    IntfXmlAtbImportLayers(path.c_str(), layers);
    IntfXmlFreeAtbImportLayers(layers);

    atb_import_layer* read = nullptr;
    host.Script({"0\n" + path, "5\n" + path});
    EXPECT_EQ(proxy->GetAtbImportLayers(3, &read), 0);
    EXPECT_EQ(host.Last(), "161\n3");
    ASSERT_EQ(xar_count(read), 2);
    EXPECT_EQ(read[0].IntfId, 4);
    EXPECT_EQ(read[1].SrfCount, 9);
    EXPECT_EQ(std::u16string(read[1].Name), u"L2");
    ZorvanProxy::FreeAtbImportLayers(read);
    EXPECT_EQ(proxy->GetAtbImportLayers(3, &read), 100);
    EXPECT_EQ(read, nullptr);
    EXPECT_EQ(proxy->GetAtbImportLayers(3, nullptr), 100);

    std::string opts = Keep(TempPath("options.xml"));
    IntfXmlOptionList list;
    list.SetDouble("tol", 0.5);
    list.SetInteger("level", 3);
    list.SetString("unit", "mm");
    IntfXmlTranslationOptions(opts.c_str(), list);
    ZrTranslationOptions* options = nullptr;
    host.Script({"0\n" + opts, "1\n" + opts, "0\n/no/such.xml"});
    EXPECT_EQ(proxy->GetTranslationOptions(&options, 8), 0);
    EXPECT_EQ(host.Last(), "183\n8");
    ASSERT_NE(options, nullptr);
    double tol = 0;
    int level = 0;
    char unit[8];
    EXPECT_TRUE(options->GetDouble("tol", tol));
    EXPECT_EQ(tol, 0.5);
    EXPECT_TRUE(options->GetInteger("level", level));
    EXPECT_EQ(level, 3);
    EXPECT_TRUE(options->GetString("unit", unit, sizeof unit));
    EXPECT_STREQ(unit, "mm");
    delete options;
    EXPECT_EQ(proxy->GetTranslationOptions(&options, 8), 100);
    EXPECT_EQ(options, nullptr);
    EXPECT_EQ(proxy->GetTranslationOptions(&options, 8), 100);
    EXPECT_EQ(options, nullptr);
}

TEST_F(Documents, ADirectoryOrAFifoNamedInTheReplyIsRefusedAtOnce) {
    filetargets::NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    qel_part_conversion_options options{5, 11, 12};
    for (const std::string& path : {files.Directory(), files.Fifo()}) {
        host.Script({"0\n" + path, "0\n" + path, "0\n" + path, "0\n" + path});
        xrchandle<KWPIModel> model;
        qel_intf_data_extend* extension = nullptr;
        qel_model_basic_info* info = nullptr;
        atb_import_layer* layers = nullptr;
        ZrTranslationOptions* read = nullptr;
        int asmStatus = 0, layerStatus = 0, optionStatus = 0;
        EXPECT_TRUE(files.ReturnsWithin([&] {
            model = proxy->GetQelIntfData(9, &options, nullptr, &extension);
            asmStatus = proxy->GetAssemblyInfo(4, &info, nullptr);
            layerStatus = proxy->GetAtbImportLayers(3, &layers);
            optionStatus = proxy->GetTranslationOptions(&read, 8);
        })) << path;
        EXPECT_TRUE(model.isNull()) << path;
        EXPECT_EQ(extension, nullptr);
        EXPECT_EQ(asmStatus, 100);
        EXPECT_EQ(info, nullptr);
        EXPECT_EQ(layerStatus, 100);
        EXPECT_EQ(layers, nullptr);
        EXPECT_EQ(optionStatus, 100);
        EXPECT_EQ(read, nullptr);
        EXPECT_EQ(host.Last(), "183\n8");
    }
}

TEST_F(Requests, ComponentsFilesAndLayers) {
    const double first[3] = {0.1, 0.2, 0.3};
    const double second[6] = {1, 2, 3, 4, 5, 6};
    host.Script({"4"});
    EXPECT_EQ(proxy->SetComponentColor(1, 2, first, second), 4);
    EXPECT_EQ(
        host.Last(),
        "179\n1\n2\n0.100000000000000006 0.200000000000000011 0.299999999999999989\n1 2 3 4 5 6");
    int value = 0;
    host.Script({"1\n7", "0\n7", "1"});
    EXPECT_EQ(proxy->HDICSearchImage("img", &value), 1);
    EXPECT_EQ(host.Last(), "186\nimg");
    EXPECT_EQ(value, 7);
    value = 0;
    EXPECT_EQ(proxy->HDICSearchImage("img", &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(proxy->HDICSearchImage("img", &value), 1);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(proxy->CopyFileFromRemote("a", "b"), 0);
    EXPECT_EQ(host.Last(), "185\na\nb");
    EXPECT_EQ(proxy->SetComponentLayer(1, 2, "lay"), 0);
    EXPECT_EQ(host.Last(), "187\n1\n2\nlay");
    EXPECT_EQ(proxy->CreateLayer(1, "lay", 3, 4), 0);
    EXPECT_EQ(host.Last(), "188\n1\nlay\n3\n4");
}

// ---- documents handed over -----------------------------------------------------------

// A whole client: the callback server holds the files handed over.
class HandOver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.Ok());
        unsetenv("GG_TEMP_FILE");
        proxy = ZrInitializeClient(host.Url().c_str());
        ASSERT_FALSE(proxy.isNull());
        url = ZrGetCallbackUrl().str();
        ASSERT_FALSE(url.empty());
        ZrSetImportFormat(0);
    }
    void TearDown() override {
        ZrSetImportFormat(0);
        unsetenv("GG_TEMP_FILE");
        proxy.release();
        ZrShutdownClient();
    }
    // Field `i` of the last request.
    std::string Field(int i) {
        std::string text = host.Last();
        size_t start = 0;
        for (int k = 0; k < i; ++k)
            start = text.find('\n', start) + 1;
        return text.substr(start, text.find('\n', start) - start);
    }

    FakeHost host;
    xrchandle<ZorvanProxy> proxy;
    std::string url;
};

TEST_F(HandOver, ImportFeatureByFormat) {
    qel_intf_data* data = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&data), 0);
    data->accuracy = 0.5;
    int feature = 0;

    ZrSetImportFormat(1);
    host.Script({"0\n31"});
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, data, nullptr, &feature), 0);
    EXPECT_EQ(feature, 31);
    EXPECT_EQ(host.Last(), "103\n6\n-1\n" + url + "zpi.xml\n1");
    qel_intf_data* back = nullptr;
    IntfXmlZPI::Read((url + "zpi.xml").c_str(), &back, nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->accuracy, 0.5);
    qel_intf_data_free(back);

    ZrSetImportFormat(0);
    int32_t entity[2] = {17, 0};
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, entity, data, nullptr, &feature), 0);
    EXPECT_EQ(host.Last(), "103\n6\n17\n" + url + "zpi.neu\n0");
    std::unique_ptr<IntfXmlBnfsFile> file(
        IntfXmlGetBnfsOpener()((url + "zpi.neu").c_str(), 1, nullptr));
    ASSERT_NE(file, nullptr);
    char head[8] = {};
    EXPECT_EQ(file->Read(head, 7), 7);
    EXPECT_STREQ(head, "NEUTRAL");
    file->Close();

    ZrSetImportFormat(5);
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, data, nullptr, &feature), 0);
    EXPECT_EQ(host.Last(), "103\n6\n-1\n\n5");

    // A hand-over the host refuses is told, with its reason (quoted) where
    // it gives one, and the feature is left alone.
    ZrSetImportFormat(1);
    feature = 5;
    ::testing::internal::CaptureStderr();
    host.Script({"-1\ncannot read the file\n-1", "x", "3"});
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, data, nullptr, &feature), -1);
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, data, nullptr, &feature), -1);
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, data, nullptr, &feature), 3);
    EXPECT_EQ(feature, 5);
    const std::string of = " to the hand-over of \"" + url + "zpi.xml\"";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "request 103: the host answered status -1" + of + ": \"cannot read the file\"\n" +
                  "request 103: the host answered \"x\", which is no status" + of + "\n" +
                  "request 103: the host answered status 3" + of + "\n");
    // A reason holding a carriage return and an escape is quoted whole on
    // the line's one line, never cut.
    const std::string reason = "cannot\r\x1B[2K read \\x0A " + std::string(200, 'r');
    host.Script({"-1\n" + reason + "\n-1"});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, data, nullptr, &feature), -1);
    EXPECT_TRUE(quotedtest::QuotesOnOneLine(::testing::internal::GetCapturedStderr(), reason));

    // A model hands over its objects (format 1) or its records (format 0).
    qel_intf_data* owned = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&owned), 0);
    owned->accuracy_type = 2;
    owned->accuracy = 0.125;
    xrchandle<KWPIModel> model(new KWPIModel_i(owned, false));
    ZrSetImportFormat(1);
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(2, nullptr, model, nullptr, &feature), 0);
    EXPECT_EQ(host.Last(), "103\n2\n-1\n" + url + "zpi.xml\n1");
    IntfXmlZPI::Read((url + "zpi.xml").c_str(), &back, nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->accuracy, 0.125);
    qel_intf_data_free(back);
    ZrSetImportFormat(0);
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(2, nullptr, model, nullptr, &feature), 0);
    EXPECT_EQ(host.Last(), "103\n2\n-1\n" + url + "zpi.neu\n0");

    size_t sent = host.Count();
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, static_cast<qel_intf_data*>(nullptr),
                                                nullptr, &feature),
              100);
    EXPECT_EQ(
        proxy->ImportQelIntfDataToFeature(6, nullptr, xrchandle<KWPIModel>(), nullptr, &feature),
        100);
    EXPECT_EQ(host.Count(), sent);
    qel_intf_data_free(data);
}

TEST_F(HandOver, NeutralFileOfAnExtensionConvertedInPartTellsWhatItLeftOut) {
    qel_intf_data* data = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&data), 0);
    data->accuracy_type = QEL_ACCURACY_ABSOLUTE;
    auto* ext = static_cast<qel_intf_data_extend*>(getmem(sizeof(qel_intf_data_extend)));
    const QelElemColordata color{3, {0, 0}}; // and no reference colours
    xar_alloc_or_append(ext->elem_colors, int(sizeof color), 1, 1, &color);
    const QelUnitdata unit{25.4, {u'i', u'n'}, 0};
    xar_alloc_or_append(ext->units, int(sizeof unit), 1, 1, &unit);

    ZrSetImportFormat(0);
    {
        NeutralMessages told;
        EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, data, ext, nullptr), 0);
        EXPECT_EQ(
            told.lines,
            std::vector<std::string>{
                "ZrWriteNeutralFile: Element colours without reference colours were left out"});
    }

    // The rest was handed over.
    std::unique_ptr<IntfXmlBnfsFile> file(
        IntfXmlGetBnfsOpener()((url + "zpi.neu").c_str(), 1, nullptr));
    ASSERT_NE(file, nullptr);
    std::string text;
    char chunk[4096];
    for (size_t n; (n = file->Read(chunk, sizeof chunk)) > 0;)
        text.append(chunk, n);
    file->Close();
    EXPECT_NE(text.find("\n      name \"in\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n  colors NULL\n"), std::string::npos);
    EXPECT_EQ(impfeat_ext_free(ext), 0);
    rlsmem(ext);
    qel_intf_data_free(data);
}

TEST_F(HandOver, NeutralPartIsFreedWhenTheOutputCannotBeOpened) {
    // An opener that throws (as when it runs out of memory) ends the
    // hand-over unsent; the converted part is freed all the same (the leak
    // check of the sanitizer build sees it otherwise).
    qel_intf_data* data = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&data), 0);
    const IntfXmlBnfsOpener old = IntfXmlRegisterBnfsOpener(
        [](const char*, int, std::string*) -> IntfXmlBnfsFile* { throw std::bad_alloc(); });
    ZrSetImportFormat(0);
    const size_t sent = host.Count();
    int feature = 0;
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, data, nullptr, &feature), 100);
    IntfXmlRegisterBnfsOpener(old);
    EXPECT_EQ(host.Count(), sent); // nothing went out
    qel_intf_data_free(data);
}

// A model over the full records, its extension stored by the model
// (SetWPIModelExt, through CreatePIModel_global).
xrchandle<KWPIModel> FullModel(qel_intf_data_extend** extension) {
    qel_intf_data* data = zpifix::fullIntfData();
    *extension = zpifix::fullExtension();
    KWPIModel* raw = nullptr;
    EXPECT_EQ(CreatePIModel_global(data, *extension, &raw), 1);
    qel_intf_data_free(data);
    return xrchandle<KWPIModel>(raw);
}

std::string StoredText(const std::string& path) {
    std::unique_ptr<IntfXmlBnfsFile> file(IntfXmlGetBnfsOpener()(path.c_str(), 1, nullptr));
    std::string text;
    if (!file)
        return text;
    char chunk[4096];
    for (size_t n; (n = file->Read(chunk, sizeof chunk)) > 0;)
        text.append(chunk, n);
    file->Close();
    return text;
}

// The lines told under `teller` ("SaveAsNeutral: "), without it.
std::vector<std::string> Told(const NeutralMessages& told, const std::string& teller) {
    std::vector<std::string> lines;
    for (const std::string& line : told.lines)
        if (line.compare(0, teller.size(), teller) == 0)
            lines.push_back(line.substr(teller.size()));
    return lines;
}

TEST_F(HandOver, AModelGivenNoExtensionHandsOverItsOwnInEitherFormat) {
    qel_intf_data_extend* extension = nullptr;
    xrchandle<KWPIModel> model = FullModel(&extension);
    int feature = 0;

    ZrSetImportFormat(1);
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(2, nullptr, model, nullptr, &feature), 0);
    qel_intf_data* back = nullptr;
    qel_intf_data_extend* backExtension = nullptr;
    IntfXmlZPI::Read((url + "zpi.xml").c_str(), &back, &backExtension);
    EXPECT_NE(back, nullptr);
    zpifix::expectSameExtension(extension, backExtension);
    qel_intf_data_free(back);
    zpifix::freeExtension(backExtension);

    // The neutral part carries what it can, and tells once per kind what
    // it cannot, as SaveAsNeutral tells it.
    ZrSetImportFormat(0);
    {
        NeutralMessages told;
        EXPECT_EQ(proxy->ImportQelIntfDataToFeature(2, nullptr, model, nullptr, &feature), 0);
        const std::vector<std::string> handedOver = Told(told, "ZrWriteNeutralFile: ");
        told.lines.clear();
        model->SaveAsNeutral(xrchandle<KCStream>(new MemoryStream));
        EXPECT_EQ(handedOver, Told(told, "SaveAsNeutral: "));
        EXPECT_EQ(std::count(handedOver.begin(), handedOver.end(),
                             "layer \"empty\" has no items and was left out"),
                  1);
    }
    const std::string text = StoredText(url + "zpi.neu");
    for (const char* item : {"id 4\n      db_type 641\n      name \"Layer & one\"", "name \"mm\"",
                             "name \"attr1\"", "name \"face one\"", "name \"bump\""})
        EXPECT_NE(text.find(item), std::string::npos) << item;
    zpifix::freeExtension(extension);
}

// A model of the translator's own class whose _CastToImpl raises (a test
// double that answers only what it was set up for).
struct RaisingModel : Forwarder<KWPIModel> {
    using Forwarder::Forwarder;
    KCommon_i* _CastToImpl() override { throw std::runtime_error("not set up"); }
};

TEST_F(HandOver, AModelThatCannotBeHandedOverWholeIsRefusedUnsent) {
    // A closed model in either format, as WriteZPI refuses it; a model
    // without interface data (cache mode) in the neutral format, whose part
    // is made from interface data only; a model of the translator's class
    // that raises when asked for the library's model behind it.
    qel_intf_data_extend* extension = nullptr;
    xrchandle<KWPIModel> closed = FullModel(&extension);
    closed->Close();
    xrchandle<KWPIModel> cached(new KWPIModel_i(nullptr, false));
    qel_intf_data_extend* itsExtension = nullptr;
    xrchandle<KWPIModel> raising(new RaisingModel(FullModel(&itsExtension), true));
    const struct {
        xrchandle<KWPIModel> model;
        int format;
        std::string said;
    } cases[] = {
        {closed, 0, "the model was closed: it has no interface data"},
        {closed, 1, "the model was closed: it has no interface data"},
        {cached, 0, "the model has no interface data (it was made while the storage mode was "
                    "off), and a neutral part is made from interface data only"},
        {raising, 0, "the model's _CastToImpl raised: not set up"},
        {raising, 1, "the model's _CastToImpl raised: not set up"},
    };
    const size_t sent = host.Count();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        ZrSetImportFormat(c.format);
        int feature = 5;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(proxy->ImportQelIntfDataToFeature(2, nullptr, c.model, nullptr, &feature), 100);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "request 103 not sent: " + c.said + "\n");
        EXPECT_EQ(feature, 5);
    }
    EXPECT_EQ(host.Count(), sent);
    zpifix::freeExtension(extension);
    zpifix::freeExtension(itsExtension);
}

TEST_F(HandOver, AModelOfTheTranslatorsOwnClassIsHandedOverAsItsModelOrRefusedUnsent) {
    // A model read from a document (its items in its records) and one built
    // in cache mode (its items in its objects), each behind a translator's
    // forwarding model: one whose _CastToImpl answers the model's
    // implementation hands over what that model hands over, in either
    // format; one that answers none is refused unsent, told in one line.
    filetargets::ScratchDir dir;
    const std::string document = dir.Path("full.xml");
    qel_intf_data_extend* extension = nullptr;
    FullModel(&extension)->WriteZPI(document.c_str());
    zpifix::freeExtension(extension);
    xrchandle<KWPIModel> read = KGetPISession()->ReadZPI(document.c_str());
    ASSERT_TRUE(read);
    xrchandle<KWPIModel> cached;
    {
        ScopedStorageMode cache(0);
        cached = everykind::BuildModel();
    }
    const std::string notMade =
        "request 103 not sent: the model was not made by this library (its _CastToImpl answers "
        "no model of this library), so it holds nothing the library can hand over: hand over "
        "the library's own model (the one the job received, or one the session made or read) "
        "or its interface-data record\n";
    for (const auto& [name, model] : {std::pair{"read", read}, std::pair{"cached", cached}}) {
        for (int format : {0, 1}) {
            SCOPED_TRACE(std::string(name) + " model, format " + std::to_string(format));
            ZrSetImportFormat(format);
            const std::string file = url + (format == 0 ? "zpi.neu" : "zpi.xml");
            int feature = 0;
            ::testing::internal::CaptureStderr();
            const int own = proxy->ImportQelIntfDataToFeature(2, nullptr, model, nullptr, &feature);
            const std::string ownTold = ::testing::internal::GetCapturedStderr();
            const std::string ownFile = own == 0 ? StoredText(file) : std::string();
            EXPECT_EQ(own, std::string(name) == "cached" && format == 0 ? 100 : 0) << ownTold;

            size_t sent = host.Count();
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(proxy->ImportQelIntfDataToFeature(2, nullptr, Forwarding(model, true), nullptr,
                                                        &feature),
                      own);
            EXPECT_EQ(::testing::internal::GetCapturedStderr(), ownTold);
            EXPECT_EQ(host.Count(), sent + (own == 0 ? 1 : 0));
            if (own == 0) {
                EXPECT_EQ(StoredText(file), ownFile);
            }

            sent = host.Count();
            feature = 5;
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(proxy->ImportQelIntfDataToFeature(2, nullptr, Forwarding(model, false),
                                                        nullptr, &feature),
                      100);
            EXPECT_EQ(::testing::internal::GetCapturedStderr(), notMade);
            EXPECT_EQ(host.Count(), sent);
            EXPECT_EQ(feature, 5);
        }
    }
}

TEST_F(HandOver, TemporaryDirectoryWhenAsked) {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zr_handover_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const char* oldTmp = std::getenv("TMP");
    std::string keepTmp = oldTmp ? oldTmp : "";
    setenv("TMP", dir.c_str(), 1);
    setenv("GG_TEMP_FILE", "", 1);

    qel_intf_data* data = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&data), 0);
    ZrSetImportFormat(1);
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(6, nullptr, data, nullptr, nullptr), 0);
    EXPECT_EQ(Field(3), dir.string() + "/zpi.xml");
    EXPECT_TRUE(std::filesystem::exists(dir / "zpi.xml"));
    qel_intf_data_free(data);

    const char* lines[] = {"one"};
    auto** log = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
    log[0] = lines[0];
    EXPECT_EQ(proxy->SendTranslationLog(log), 0);
    EXPECT_EQ(Field(1), dir.string() + "/TranslationLog.xml");
    EXPECT_TRUE(std::filesystem::exists(dir / "TranslationLog.xml"));
    xar_free(reinterpret_cast<void**>(&log));

    if (oldTmp)
        setenv("TMP", keepTmp.c_str(), 1);
    else
        unsetenv("TMP");
    std::filesystem::remove_all(dir);
}

TEST_F(HandOver, SideDocuments) {
    const char* text[] = {"a", nullptr, "b"};
    auto** lines = static_cast<const char**>(xar_alloc(3, sizeof(char*), 3));
    for (int i = 0; i < 3; ++i)
        lines[i] = text[i];
    // A status the host answers is returned, and told with the document.
    ::testing::internal::CaptureStderr();
    host.Script({"7"});
    EXPECT_EQ(proxy->SendTranslationLog(lines), 7);
    EXPECT_EQ(host.Last(), "178\n" + url + "TranslationLog.xml");
    std::vector<IntfXmlLogLine> back = IntfXmlLogLines::Read((url + "TranslationLog.xml").c_str());
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].text, "a");
    EXPECT_TRUE(back[1].missing);
    xar_free(reinterpret_cast<void**>(&lines));
    EXPECT_EQ(proxy->SendTranslationLog(nullptr), 100);

    auto* info = static_cast<qel_model_basic_info*>(getmem(sizeof(qel_model_basic_info)));
    std::memcpy(info->name, u"top", sizeof u"top");
    host.Script({"9"});
    EXPECT_EQ(proxy->SendAssemblyInfo(1, info, 2, 3, 0.1), 9);
    EXPECT_EQ(host.Last(), "159\n1\n" + url + "assemInfo.xml\n2\n3\n0.100000000000000006");
    qel_model_basic_info* read = IntfXmlModel::Read((url + "assemInfo.xml").c_str());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(std::u16string(read->name), u"top");
    IntfXmlFreeModelInfo(read);
    rlsmem(info);
    EXPECT_EQ(proxy->SendAssemblyInfo(1, nullptr, 2, 3, 0.1), 100);

    auto* layers = static_cast<atb_import_layer*>(xar_alloc(1, sizeof(atb_import_layer), 1));
    layers[0].CrvCount = 3;
    host.Script({"4"});
    EXPECT_EQ(proxy->SetAtbImportLayers(2, layers), 4);
    EXPECT_EQ(host.Last(), "160\n2\n" + url + "atbLayers.xml");
    atb_import_layer* again = IntfXmlAtbImportLayers::Read((url + "atbLayers.xml").c_str());
    ASSERT_EQ(xar_count(again), 1);
    EXPECT_EQ(again[0].CrvCount, 3);
    IntfXmlFreeAtbImportLayers(again);
    IntfXmlFreeAtbImportLayers(layers);
    EXPECT_EQ(proxy->SetAtbImportLayers(2, nullptr), 100);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "request 178: the host answered status 7 to the hand-over of \"" + url +
                  "TranslationLog.xml\"\n"
                  "request 159: the host answered status 9 to the hand-over of \"" + url +
                  "assemInfo.xml\"\n"
                  "request 160: the host answered status 4 to the hand-over of \"" + url +
                  "atbLayers.xml\"\n");
}

// A name of a side document holding a lone surrogate, which the document
// would carry as another character: not sent (100), told naming the record.
TEST_F(HandOver, ASideDocumentsNameThatIsNotWholeUtf16IsRefusedUnsent) {
    auto* info = static_cast<qel_model_basic_info*>(getmem(sizeof(qel_model_basic_info)));
    auto* sub = static_cast<qel_model_basic_info*>(getmem(sizeof(qel_model_basic_info)));
    std::memcpy(info->name, u"top", sizeof u"top");
    std::memcpy(sub->name, u"a\xD800", sizeof u"a\xD800");
    qel_model_component_info component{};
    component.id = 7;
    component.sub = sub;
    xar_alloc_or_append(info->components, int(sizeof component), 10, 1, &component);
    auto* layers = static_cast<atb_import_layer*>(xar_alloc(1, sizeof(atb_import_layer), 1));
    std::memcpy(layers[0].OrigName, u"L\xDC00", sizeof u"L\xDC00");
    const size_t sent = host.Count();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->SendAssemblyInfo(1, info, 2, 3, 0.1), 100);
    EXPECT_EQ(proxy->SetAtbImportLayers(2, layers), 100);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "request 159 not sent: cannot write \"" + url +
                  "assemInfo.xml\": the sub-assembly of component 7: its name: it holds a lone "
                  "surrogate (U+D800) at unit 1\n"
                  "request 160 not sent: cannot write \"" + url +
                  "atbLayers.xml\": import layer at index 0: its original name: it holds a lone "
                  "surrogate (U+DC00) at unit 1\n");
    EXPECT_EQ(host.Count(), sent);
    IntfXmlFreeModelInfo(info);
    IntfXmlFreeAtbImportLayers(layers);
}

} // namespace
