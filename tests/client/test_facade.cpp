// The host toolkit's C functions: message formats, local conversions,
// transforms and parameter values, and the forwarding functions against a
// stand-in host on the loopback address.
#include "client/zr_client.h"
#include "client/zr_facade.h"
#include "client/fake_host.h"

#include "btkstring.h"
#include "xmemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using zr_test::FakeHost;

TEST(MessageFormat, ArgumentTypesAndCount) {
    int32_t types[ZR_MESSAGE_MAX_ARGS];
    int count = -1;
    ASSERT_TRUE(ZrScanMessageFormat("value %0s is %1d", types, &count));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(types[0], ZR_MSGARG_TEXT);
    EXPECT_EQ(types[1], ZR_MSGARG_INT);
    for (int i = 2; i < ZR_MESSAGE_MAX_ARGS; ++i)
        EXPECT_EQ(types[i], -1);

    ASSERT_TRUE(ZrScanMessageFormat("%Cplain text", types, &count));
    EXPECT_EQ(count, 0);
    ASSERT_TRUE(ZrScanMessageFormat("%Q%2(5.3)f and %0W and %1q", types, &count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(types[0], ZR_MSGARG_WIDE);
    EXPECT_EQ(types[1], -1);
    EXPECT_EQ(types[2], ZR_MSGARG_DOUBLE);

    EXPECT_FALSE(ZrScanMessageFormat("100%", types, &count));
    EXPECT_FALSE(ZrScanMessageFormat("%x", types, &count));
    EXPECT_FALSE(ZrScanMessageFormat("%0z", types, &count));
    EXPECT_FALSE(ZrScanMessageFormat("%0 ", types, &count)); // no letter before the end
}

TEST(FacadeLocal, TextConversions) {
    char16_t wide[16];
    char narrow[16];
    EXPECT_EQ(QelStringToWstring(nullptr, "x"), nullptr);
    EXPECT_EQ(QelWstringToString(nullptr, u"x"), nullptr);
    EXPECT_EQ(QelStringToWstring(wide, "h\xC3\xA9llo"), wide);
    EXPECT_EQ(std::u16string(wide), u"h\u00e9llo");
    EXPECT_EQ(QelWstringToString(narrow, wide), narrow);
    EXPECT_STREQ(narrow, "h\xC3\xA9llo");
}

TEST(FacadeLocal, Transforms) {
    const double identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    const double moved[4][4] = {{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {10, 20, 30, 1}};
    double p[3] = {1, 2, 3};
    double out[3] = {};
    EXPECT_EQ(QelPntTrfEval(p, identity, out), 0);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], 3);
    EXPECT_EQ(QelPntTrfEval(p, moved, out), 0);
    EXPECT_EQ(out[0], 8);
    EXPECT_EQ(out[1], 21);
    EXPECT_EQ(out[2], 33);
    EXPECT_EQ(QelVectorTrfEval(p, moved, p), 0); // in place, no translation
    EXPECT_EQ(p[0], -2);
    EXPECT_EQ(p[1], 1);
    EXPECT_EQ(p[2], 3);
    EXPECT_EQ(QelPntTrfEval(nullptr, identity, out), -2);
    EXPECT_EQ(QelVectorTrfEval(p, nullptr, out), -2);
    EXPECT_EQ(QelPntTrfEval(p, identity, nullptr), -2);
}

TEST(FacadeLocal, ParameterValues) {
    QelParamvalue value{};
    value.type = 77;
    double d = 2.5;
    EXPECT_EQ(QelParamvalueSet(&value, &d, 55), -2);
    EXPECT_EQ(value.type, 77);
    EXPECT_EQ(QelParamvalueSet(nullptr, &d, 50), -2);
    EXPECT_EQ(QelParamvalueSet(&value, nullptr, 50), -2);

    EXPECT_EQ(QelParamvalueSet(&value, &d, QEL_PARAM_DOUBLE), 0);
    int type = 0;
    EXPECT_EQ(QelParamvalueTypeGet(&value, &type), 0);
    EXPECT_EQ(type, QEL_PARAM_DOUBLE);
    int32_t i = 0;
    EXPECT_EQ(QelParamvalueValueGet(&value, QEL_PARAM_INTEGER, &i), -2);
    double back = 0;
    EXPECT_EQ(QelParamvalueValueGet(&value, QEL_PARAM_DOUBLE, &back), 0);
    EXPECT_EQ(back, 2.5);

    int16_t flag = -3;
    EXPECT_EQ(QelParamvalueSet(&value, &flag, QEL_PARAM_BOOLEAN), 0);
    int16_t flagBack = 0;
    EXPECT_EQ(QelParamvalueValueGet(&value, QEL_PARAM_BOOLEAN, &flagBack), 0);
    EXPECT_EQ(flagBack, -3);

    EXPECT_EQ(QelParamvalueSet(&value, u"text", QEL_PARAM_STRING), 0);
    char16_t text[QEL_LINE_LEN];
    EXPECT_EQ(QelParamvalueValueGet(&value, QEL_PARAM_STRING, text), 0);
    EXPECT_EQ(std::u16string(text), u"text");
    std::u16string tooLong(QEL_LINE_LEN, u'x');
    EXPECT_EQ(QelParamvalueSet(&value, tooLong.c_str(), QEL_PARAM_STRING), -2);
    EXPECT_EQ(value.type, QEL_PARAM_STRING);

    EXPECT_EQ(QelParamvalueSet(&value, nullptr, QEL_PARAM_VOID), 0);
    EXPECT_EQ(QelParamvalueTypeGet(&value, nullptr), -2);
}

class Facade : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.Ok());
        ZrShutdownClient();
        ASSERT_EQ(InitializeClient(host.Url().c_str()), 1);
    }
    void TearDown() override { ZrShutdownClient(); }

    FakeHost host;
};

TEST(FacadeWithoutClient, AnswersNotSent) {
    ZrShutdownClient();
    int window = 3;
    char16_t name[QEL_NAME_LEN] = u"keep";
    int32_t id = 4;
    EXPECT_EQ(QelWindowCurrentGet(&window), 100);
    EXPECT_EQ(QelMdlNameGet(&id, name), 100);
    EXPECT_EQ(QelMessageClear(), 100);
    EXPECT_EQ(window, 3);
    EXPECT_EQ(std::u16string(name), u"keep");
}

TEST_F(Facade, NamesAndHandles) {
    int32_t id = 12;
    char16_t name[QEL_NAME_LEN] = u"keep";
    host.Script({"0\nbr\xC3\xBC" "cke", "0\n" + std::string(QEL_NAME_LEN, 'n')});
    EXPECT_EQ(QelMdlNameGet(&id, name), 0);
    EXPECT_EQ(host.Last(), "114\n12");
    EXPECT_EQ(std::u16string(name), u"br\u00fccke");
    // 32 units do not fit a name with its terminator: refused, untouched.
    EXPECT_EQ(QelMdlNameGet(&id, name), ZR_STATUS_TEXT_TOO_LONG);
    EXPECT_EQ(std::u16string(name), u"br\u00fccke");
    EXPECT_EQ(QelMdlNameGet(nullptr, name), -2);

    QelMdl solid = nullptr;
    host.Script({"0\n77", "3"});
    EXPECT_EQ(QelSolidCreate(u"w\u00e9ld", 2, &solid), 0);
    EXPECT_EQ(host.Last(), "101\nw\xC3\xA9ld\n2");
    ASSERT_NE(solid, nullptr);
    EXPECT_EQ(*solid, 77);
    rlsmem(solid);
    solid = nullptr;
    EXPECT_EQ(QelSolidInit(u"s", 1, &solid), 3);
    EXPECT_EQ(solid, nullptr);

    QelModelitem item{0, 0, nullptr};
    host.Script({"0\n1 5 12", "0\n1 5 x", "8"});
    EXPECT_EQ(QelMdlToModelitem(&id, &item), 0);
    ASSERT_NE(item.owner, nullptr);
    EXPECT_EQ(*item.owner, 12);
    rlsmem(item.owner);
    // An owner that is not a number, and a failure: the block made for the
    // owner is given back (the leak checker watches this).
    EXPECT_EQ(QelMdlToModelitem(&id, &item), 0);
    EXPECT_EQ(item.owner, nullptr);
    EXPECT_EQ(QelModelitemInit(1, 2, 3, &item), 8);
    EXPECT_EQ(item.owner, nullptr);
    EXPECT_EQ(item.id, -1);

    QelExtdataClass klass{nullptr, {}};
    host.Script({"0\n9 cls", "4"});
    EXPECT_EQ(QelExtdataClassRegister(&id, u"cls", &klass), 0);
    ASSERT_NE(klass.model, nullptr);
    EXPECT_EQ(*klass.model, 9);
    rlsmem(klass.model);
    EXPECT_EQ(QelExtdataClassRegister(&id, u"cls", &klass), 4);
    EXPECT_EQ(klass.model, nullptr);
}

TEST_F(Facade, PathsAndProperties) {
    char16_t path[QEL_PATH_LEN];
    host.Script({"0\n/data/run", "0\n8"});
    EXPECT_EQ(QelDirectoryCurrentGet(path), 0);
    EXPECT_EQ(host.Last(), "113");
    EXPECT_EQ(std::u16string(path), u"/data/run");
    int value = 0;
    EXPECT_EQ(QelTempPropertyIntGet(u"prop", &value), 0);
    EXPECT_EQ(host.Last(), "116\nprop");
    EXPECT_EQ(value, 8);
    EXPECT_EQ(QelTempPropertyPathSet(u"prop", u"/x y"), 0);
    EXPECT_EQ(host.Last(), "119\nprop\n/x y");
    // A name holding a line feed would split its field: not sent.
    size_t sent = host.Count();
    EXPECT_EQ(QelTempPropertyIntSet(u"a\nb", 1), 100);
    EXPECT_EQ(host.Count(), sent);

    QelModelitem feature{0, 0, nullptr};
    int32_t model = 6;
    EXPECT_EQ(QelImportfeatCreate_zpi(&model, nullptr, nullptr, nullptr, &feature), 100); // no data
    EXPECT_EQ(host.Count(), sent);
}

TEST_F(Facade, MessageDisplay) {
    int32_t count = 4;
    host.Script({"0\n%0s has %1d faces", "0"});
    EXPECT_EQ(QelMessageDisplay(u"msg.txt", "faces", "part", &count), 0);
    std::vector<std::string> requests = host.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], "123\nfaces");
    EXPECT_EQ(requests[1], "124\nmsg.txt\nfaces\n2\npart\n4\n4\n1");

    host.Clear();
    host.Script({"0\nbad %x"});
    EXPECT_EQ(QelMessageDisplay(u"msg.txt", "bad"), -1);
    EXPECT_EQ(host.Count(), 1u); // no display request
    host.Script({"6"});
    EXPECT_EQ(QelMessageDisplay(u"msg.txt", "missing"), 6);
    EXPECT_EQ(host.Count(), 2u);
}

} // namespace
