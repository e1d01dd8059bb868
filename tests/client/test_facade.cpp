// The host toolkit's C functions: message formats, local conversions,
// transforms and parameter values, and the forwarding functions against a
// stand-in host on the loopback address.
#include "client/zr_client.h"
#include "client/zr_facade.h"
#include "client/fake_host.h"
#include "kernel/records/wide_name.h"

#include "btk_quoted.h"
#include "btkstring.h"
#include "xmemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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

TEST(FacadeLocal, TextsConvertWholeOrNotAtAll) {
    char16_t wide[16] = u"keep";
    char narrow[16] = "keep";
    EXPECT_EQ(QelStringToWstring(wide, "\xF0\x9F\x94\xA7"), wide);
    EXPECT_EQ(std::u16string(wide), u"\U0001F527");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(QelStringToWstring(wide, "W\xE4rme"), nullptr);
    EXPECT_EQ(std::u16string(wide), u"");
    EXPECT_EQ(QelWstringToString(narrow, u"a\xDC00"), nullptr);
    EXPECT_STREQ(narrow, "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "QelStringToWstring: nothing converted: the argument \"in\" is not UTF-8: " +
                  kname::Shown("W\xE4rme") +
                  "\nQelWstringToString: nothing converted: the argument \"in\" is not whole "
                  "UTF-16: it holds a lone surrogate (U+DC00) at unit 1\n");
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

// `record` with its wide field `field` holding `text`.
template <class R, size_t N> R With(R record, char16_t (R::*field)[N], const char16_t* text) {
    wscpy(record.*field, text);
    return record;
}

// Every wide text a C function sends, given not whole UTF-16: a high
// surrogate alone, a low one alone, a high one at the end. Nothing goes
// out (but the format request of a message, which names the argument
// types), the function answers 100, and one line names the function and
// the argument.
TEST_F(Facade, AWideTextThatIsNotWholeUtf16IsRefusedUnsent) {
    int32_t model = 6;
    QelModelitem item{1, 2, nullptr};
    QelExtdataClass klass{&model, u"cls"};
    QelExtdataSlot slot{&klass, u"slot", 7};
    QelParameter param{};
    wscpy(param.name, u"p");
    QelParamvalue text{};
    text.type = QEL_PARAM_STRING;
    auto textOf = [&](const char16_t* bad) {
        QelParamvalue value = text;
        wscpy(value.value.s_val, bad);
        return value;
    };
    // What the functions would fill; none is written.
    QelMdl made = nullptr;
    QelPath path;
    QelExtdataClass madeClass{};
    QelExtdataSlot madeSlot{};
    QelParameter madeParam{};
    QelParamvalue madeValue{};
    int number = 0;
    QelName* names = nullptr;
    int32_t* ids = nullptr;
    using Bad = const char16_t*;
    struct Row {
        std::string said; // the told line up to the fault
        std::function<int(Bad)> call;
        std::string script = "";
        size_t sent = 0;
    };
    const std::string arg = ": nothing sent: the argument ";
    const std::vector<Row> rows = {
        {"QelSolidInit" + arg + "\"name\"", [&](Bad bad) { return QelSolidInit(bad, 1, &made); }},
        {"QelSolidCreate" + arg + "\"name\"",
         [&](Bad bad) { return QelSolidCreate(bad, 1, &made); }},
        {"QelTempPropertyIntGet" + arg + "\"name\"",
         [&](Bad bad) { return QelTempPropertyIntGet(bad, &number); }},
        {"QelTempPropertyPathGet" + arg + "\"name\"",
         [&](Bad bad) { return QelTempPropertyPathGet(bad, path); }},
        {"QelTempPropertyIntSet" + arg + "\"name\"",
         [&](Bad bad) { return QelTempPropertyIntSet(bad, 1); }},
        {"QelTempPropertyPathSet" + arg + "\"name\"",
         [&](Bad bad) { return QelTempPropertyPathSet(bad, u"p"); }},
        {"QelTempPropertyPathSet" + arg + "\"path\"",
         [&](Bad bad) { return QelTempPropertyPathSet(u"n", bad); }},
        {"QelMessageDisplay" + arg + "\"file\"",
         [&](Bad bad) { return QelMessageDisplay(bad, "key"); }},
        {"QelExtdataClassRegister" + arg + "\"name\"",
         [&](Bad bad) { return QelExtdataClassRegister(&model, bad, &madeClass); }},
        {"QelExtdataSlotCreate" + arg + "\"name\"",
         [&](Bad bad) { return QelExtdataSlotCreate(&klass, bad, &madeSlot); }},
        {"QelParameterInit" + arg + "\"name\"",
         [&](Bad bad) { return QelParameterInit(&item, bad, &madeParam); }},
        {"QelParamReadonlyCreate" + arg + "\"name\"",
         [&](Bad bad) { return QelParamReadonlyCreate(&item, bad, &text, 0, &madeParam); }},
        {"QelMdlNameIsUsed" + arg + "\"name\"",
         [&](Bad bad) { return QelMdlNameIsUsed(bad, 1, &number); }},
        // Texts of records, and the wide values of a slot and a message.
        {"QelExtdataSlotNamesList: request 127 not sent: the class's name",
         [&](Bad bad) {
             QelExtdataClass k = With(klass, &QelExtdataClass::name, bad);
             return QelExtdataSlotNamesList(&k, &number, &names);
         }},
        {"QelExtdataSlotCreate: request 130 not sent: the class's name",
         [&](Bad bad) {
             QelExtdataClass k = With(klass, &QelExtdataClass::name, bad);
             return QelExtdataSlotCreate(&k, u"s", &madeSlot);
         }},
        {"QelExtdataSlotWrite: request 131 not sent: the slot's name",
         [&](Bad bad) {
             QelExtdataSlot s = With(slot, &QelExtdataSlot::name, bad);
             return QelExtdataSlotWrite(&s, 1, ZR_MSGARG_WIDE, 2, u"v");
         }},
        {"QelExtdataSlotWrite: request 131 not sent: the slot's class's name",
         [&](Bad bad) {
             QelExtdataClass k = With(klass, &QelExtdataClass::name, bad);
             QelExtdataSlot s{&k, u"slot", 7};
             return QelExtdataSlotWrite(&s, 1, ZR_MSGARG_INT, 2, &model);
         }},
        {"QelExtdataSlotWrite: request 131 not sent: the value",
         [&](Bad bad) { return QelExtdataSlotWrite(&slot, 1, ZR_MSGARG_WIDE, 2, bad); }},
        {"QelExtdataSlotIdsList: request 132 not sent: the class's name",
         [&](Bad bad) {
             QelExtdataClass k = With(klass, &QelExtdataClass::name, bad);
             return QelExtdataSlotIdsList(&k, &number, &ids);
         }},
        {"QelParamReadonlyCreate: request 135 not sent: the value's text",
         [&](Bad bad) {
             QelParamvalue v = textOf(bad);
             return QelParamReadonlyCreate(&item, u"n", &v, 0, &madeParam);
         }},
        {"QelParameterValueGet: request 136 not sent: the parameter's name",
         [&](Bad bad) {
             QelParameter p = With(param, &QelParameter::name, bad);
             return QelParameterValueGet(&p, &madeValue);
         }},
        {"QelParamReadonlyModify: request 137 not sent: the parameter's name",
         [&](Bad bad) {
             QelParameter p = With(param, &QelParameter::name, bad);
             return QelParamReadonlyModify(&p, &text, 0);
         }},
        {"QelParamReadonlyModify: request 137 not sent: the value's text",
         [&](Bad bad) {
             QelParamvalue v = textOf(bad);
             return QelParamReadonlyModify(&param, &v, 0);
         }},
        {"QelMessageDisplay: request 124 not sent: message argument 1",
         [&](Bad bad) { return QelMessageDisplay(u"msg.txt", "key", &model, bad); },
         "0\n%0d in %1w", 1},
    };
    const std::pair<Bad, const char*> cases[] = {
        {u"a\xD800-", "it holds a lone surrogate (U+D800) at unit 1"},
        {u"a\xDC00-", "it holds a lone surrogate (U+DC00) at unit 1"},
        {u"ab\xD800", "it holds a lone surrogate (U+D800) at unit 2"},
    };
    for (const Row& row : rows) {
        for (const auto& [bad, fault] : cases) {
            host.Clear();
            if (!row.script.empty())
                host.Script({row.script});
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(row.call(bad), 100) << row.said << " / " << fault;
            EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                      row.said + " is not whole UTF-16: " + fault + "\n");
            EXPECT_EQ(host.Count(), row.sent) << row.said << " / " << fault;
        }
    }
    // A pair, also at the end, goes as the character it is.
    host.Clear();
    EXPECT_EQ(QelTempPropertyPathSet(u"n", u"W\u00e4rme \U0001F527"), 0);
    EXPECT_EQ(host.Last(), "119\nn\nW\xC3\xA4rme \xF0\x9F\x94\xA7");
}

// Every wide text a C function hands back, given by the host in bytes that
// are not UTF-8 (or too long for a record's field, or cut by a zero byte):
// the output is left as it was, the function answers -1 (-24, 100), and
// one line names the request.
TEST_F(Facade, AHostTextThatCannotBeHandedBackWholeIsNotHandedBack) {
    int32_t model = 6;
    QelModelitem item{1, 2, nullptr};
    QelExtdataClass klass{&model, u"cls"};
    QelParameter param{};
    wscpy(param.name, u"p");
    QelParamvalue number{};
    number.type = QEL_PARAM_DOUBLE;
    // The outputs, one byte throughout before each call: none is written.
    struct Outputs {
        QelPath path;
        QelName name;
        int count;
        QelName* names;
        QelExtdataClass klass;
        QelExtdataSlot slot;
        QelParameter param;
        QelParamvalue value;
    } out;
    struct Row {
        std::string reply;
        int status;
        std::string told;
        std::function<int()> call;
    };
    const std::string bad = "W\xE4rme";
    // The host's text is quoted whole, as every host text is.
    const std::string notUtf8 = " is not UTF-8, not handed back: " + btkQuoted(bad) + "\n";
    const std::string longName(QEL_NAME_LEN, 'n'), longText(QEL_LINE_LEN, 't');
    const std::vector<Row> rows = {
        {"0\n/home/" + bad, -1,
         "QelDirectoryCurrentGet: request 113: the host's current folder is not UTF-8, not "
         "handed back: " +
             btkQuoted("/home/" + bad) + "\n",
         [&] { return QelDirectoryCurrentGet(out.path); }},
        {std::string("0\n/home/a\0b", 11), 100,
         "QelDirectoryCurrentGet: request 113: the host's reply holds a zero byte at byte 9, "
         "not read: " +
             btkQuoted(std::string("0\n/home/a\0b", 11)) + "\n",
         [&] { return QelDirectoryCurrentGet(out.path); }},
        {"0\n" + bad, -1, "QelMdlNameGet: request 114: the host's model name" + notUtf8,
         [&] { return QelMdlNameGet(&model, out.name); }},
        {"0\n" + bad, -1, "QelTempPropertyPathGet: request 117: the host's path" + notUtf8,
         [&] { return QelTempPropertyPathGet(u"p", out.path); }},
        {"0\n" + bad, -1, "QelModelitemNameGet: request 146: the host's item name" + notUtf8,
         [&] { return QelModelitemNameGet(&item, out.name); }},
        {"0\n2\nok " + bad, -1,
         "QelExtdataClassNamesList: request 128: the host's class name at index 1" + notUtf8,
         [&] { return QelExtdataClassNamesList(&model, &out.count, &out.names); }},
        {"0\n1\n" + longName, -24,
         "QelExtdataClassNamesList: request 128: the host's class name at index 0 of 32 units "
         "does not fit in 31, not handed back: " +
             btkQuoted(longName) + "\n",
         [&] { return QelExtdataClassNamesList(&model, &out.count, &out.names); }},
        {"0\n2\nok " + bad, -1,
         "QelExtdataSlotNamesList: request 127: the host's slot name at index 1" + notUtf8,
         [&] { return QelExtdataSlotNamesList(&klass, &out.count, &out.names); }},
        {"0\n9 " + bad, -1, "QelExtdataClassRegister: request 129: the host's class name" + notUtf8,
         [&] { return QelExtdataClassRegister(&model, u"c", &out.klass); }},
        {"0\n6 cls " + bad + " 31", -1,
         "QelExtdataSlotCreate: request 130: the host's slot name" + notUtf8,
         [&] { return QelExtdataSlotCreate(&klass, u"s", &out.slot); }},
        {"0\n1 " + bad + " 0 44", -1,
         "QelParameterInit: request 134: the host's parameter name" + notUtf8,
         [&] { return QelParameterInit(&item, u"p", &out.param); }},
        {"-5\n1 " + bad + " 0 44", -1,
         "QelParamReadonlyCreate: request 135: the host's parameter name" + notUtf8,
         [&] { return QelParamReadonlyCreate(&item, u"p", &number, 0, &out.param); }},
        {"0\n51 " + bad + " ", -1,
         "QelParameterValueGet: request 136: the host's value text" + notUtf8,
         [&] { return QelParameterValueGet(&param, &out.value); }},
        {"0\n51 " + longText + " ", -24,
         "QelParameterValueGet: request 136: the host's value text of 80 units does not fit in "
         "79, not handed back: " +
             btkQuoted(longText) + "\n",
         [&] { return QelParameterValueGet(&param, &out.value); }},
    };
    for (const Row& row : rows) {
        host.Clear();
        host.Script({row.reply});
        std::memset(&out, 0x5A, sizeof out);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(row.call(), row.status) << row.told;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), row.told);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&out);
        EXPECT_TRUE(std::all_of(bytes, bytes + sizeof out, [](unsigned char b) {
            return b == 0x5A;
        })) << row.told;
    }
    // Zero bytes that end a reply cut nothing.
    host.Script({std::string("0\n/data\0", 8)});
    EXPECT_EQ(QelDirectoryCurrentGet(out.path), 0);
    EXPECT_EQ(std::u16string(out.path), u"/data");
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
