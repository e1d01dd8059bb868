// Requests that do not go out: every request member and every host-toolkit
// function answers its "not sent" value once the host is gone, and a
// request whose hand-over file was not written whole is never sent (the
// host would take the previous job's file for it) and says why.
#include "btk_quoted.h"
#include "client/fake_host.h"
#include "client/zr_bnfs.h"
#include "client/zr_callback.h"
#include "client/zr_client.h"
#include "client/zr_facade.h"
#include "client/zr_proxy.h"
#include "file_targets.h"
#include "kkfileio.h"

#include "api/kpi_interfaces.h"
#include "kernel/model/model.h"
#include "kernel/records/qel_routines.h"
#include "xml/framework/xml_streams.h"

#include "xmemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using zr_test::FakeHost;

// Sets an environment variable for the scope, restoring it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            ::setenv(name_.c_str(), old_.c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool had_ = false;
};

// What the scope writes on standard error.
class ToldLines {
public:
    ToldLines() { ::testing::internal::CaptureStderr(); }
    ~ToldLines() {
        if (!taken_)
            ::testing::internal::GetCapturedStderr();
    }
    std::string Take() {
        taken_ = true;
        return ::testing::internal::GetCapturedStderr();
    }
    // True when one line of `told` holds every one of `parts`.
    static bool HasLine(const std::string& told, std::initializer_list<std::string> parts) {
        size_t start = 0;
        while (start < told.size()) {
            const size_t end = std::min(told.find('\n', start), told.size());
            const std::string line = told.substr(start, end - start);
            bool all = true;
            for (const std::string& part : parts)
                all = all && line.find(part) != std::string::npos;
            if (all)
                return true;
            start = end + 1;
        }
        return false;
    }

private:
    bool taken_ = false;
};

// The records that the hand-over requests write.
struct Records {
    Records() {
        EXPECT_EQ(qel_intf_data_alloc(&data), 0);
        info = static_cast<qel_model_basic_info*>(getmem(sizeof(qel_model_basic_info)));
        std::memcpy(info->name, u"top", sizeof u"top");
        layers = static_cast<atb_import_layer*>(xar_alloc(1, sizeof(atb_import_layer), 1));
        layers[0].CrvCount = 3;
        lines = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
        lines[0] = line.c_str();
    }
    ~Records() {
        qel_intf_data_free(data);
        rlsmem(info);
        xar_free(layers);
        xar_free(lines);
    }
    qel_intf_data* data = nullptr;
    qel_model_basic_info* info = nullptr;
    atb_import_layer* layers = nullptr;
    std::string line = std::string(4096, 'l'); // larger than a small file-size limit
    const char** lines = nullptr;
};

// Each hand-over request once: 103 with a neutral file and with a
// document, 159, 160 and 178. The answers in order.
std::vector<int> HandOverEach(ZorvanProxy& proxy, Records& r) {
    std::vector<int> answers;
    int feature = -7;
    ZrSetImportFormat(0);
    answers.push_back(proxy.ImportQelIntfDataToFeature(1, nullptr, r.data, nullptr, &feature));
    EXPECT_EQ(feature, answers[0] == 0 ? 9 : -7); // a feature only from a request sent
    ZrSetImportFormat(1);
    answers.push_back(proxy.ImportQelIntfDataToFeature(1, nullptr, r.data, nullptr, &feature));
    ZrSetImportFormat(0);
    answers.push_back(proxy.SendAssemblyInfo(1, r.info, 2, 3, 0.5));
    answers.push_back(proxy.SetAtbImportLayers(1, r.layers));
    answers.push_back(proxy.SendTranslationLog(r.lines));
    return answers;
}

const std::vector<std::string> kHandOverFiles = {"zpi.neu", "zpi.xml", "assemInfo.xml",
                                                 "atbLayers.xml", "TranslationLog.xml"};

class NotSent : public ::testing::Test {
protected:
    void SetUp() override {
        ZrShutdownClient();
        ZrSetImportFormat(0);
        host = std::make_unique<FakeHost>();
        ASSERT_TRUE(host->Ok());
        ASSERT_EQ(InitializeClient(host->Url().c_str()), 1);
        proxy = ZrGetFacadeProxy();
        url = ZrGetCallbackUrl().str();
    }
    void TearDown() override {
        ZrSetImportFormat(0);
        proxy.release();
        ZrShutdownClient();
    }

    std::unique_ptr<FakeHost> host;
    xrchandle<ZorvanProxy> proxy;
    std::string url;
};

TEST_F(NotSent, EveryRequestAndEveryHostToolkitFunctionAnswersItsNotSentValueOnceTheHostIsGone) {
    host.reset(); // the host server is gone: its port is closed
    ZorvanProxy& p = *proxy;
    Records r;
    int out = 5;
    double d = 2.5, m3[4][3] = {};
    char text[QEL_PATH_LEN] = "keep";
    btkString format("keep");
    int32_t* csys = nullptr;
    int32_t owner = 3;
    QelModelitem item{7, 7, &owner};
    QelParameter param{};
    QelParamvalue value{};
    value.type = QEL_PARAM_INTEGER;
    QelExtdataClass klass{&owner, {}};
    QelExtdataSlot slot{&klass, {}, 1};
    QelName* names = nullptr;
    int32_t* ids = nullptr;
    const double three[3] = {1, 2, 3}, six[6] = {1, 2, 3, 4, 5, 6};
    qel_part_conversion_options options{5, 0, 0};
    qel_model_basic_info* info = nullptr;
    qel_intf_data_extend* extension = nullptr;
    atb_import_layer* layers = nullptr;
    ZrTranslationOptions* translation = nullptr;
    ZrMessageArg args[ZR_MESSAGE_MAX_ARGS] = {};

    // Members of the proxy: 100 unless their request answers otherwise.
    const std::vector<std::pair<const char*, int>> members = {
        {"101", p.CreateModel("m", 1, &out)},
        {"102", p.AssembleComponent(1, 2, m3, 3, &out, &out)},
        {"103", p.ImportQelIntfDataToFeature(1, nullptr, r.data, nullptr, &out)},
        {"105", p.GetCurrentModel(1, &out)},
        {"106", p.InitSolid("s", 1, &out)},
        {"107", p.TerminateAssembly(1)},
        {"158", p.PostImportFunction(1, "t", 2, 3, 4, true)},
        {"181", p.IntfimportModelCreate("n", 1, 2, "s", &out)},
        {"182", p.IntfimportSourceTypeGet("n", 1, &out)},
        {"113", p.QelDirectoryCurrentGet(text)},
        {"114", p.QelMdlNameGet(1, text)},
        {"115", p.QelMdlTypeGet(1, &out)},
        {"116", p.QelTempPropertyIntGet("n", &out)},
        {"117", p.QelTempPropertyPathGet("n", text)},
        {"118", p.QelTempPropertyIntSet("n", 1)},
        {"119", p.QelTempPropertyPathSet("n", "p")},
        {"120", p.QelViewReset(1)},
        {"121", p.QelWindowCurrentGet(&out)},
        {"122", p.QelWindowRepaint(1)},
        {"123", p.QelMessageFormatGet("k", format)},
        {"124", p.QelMessageShow("f", "k", 0, args)},
        {"125", p.QelMessageClear()},
        {"126", p.QelSolidRegenerate(1, 0)},
        {"127", p.QelExtdataSlotNamesList(&klass, &out, &names)},
        {"128", p.QelExtdataClassNamesList(1, &out, &names)},
        {"129", p.QelExtdataClassRegister(1, "c", &klass)},
        {"130", p.QelExtdataSlotCreate(&klass, "s", &slot)},
        {"131", p.QelExtdataSlotWrite(&slot, 1, 1, 0, &out)},
        {"132", p.QelExtdataSlotIdsList(&klass, &out, &ids)},
        {"133", p.QelMdlToModelitem(1, &item)},
        {"134", p.QelParameterInit(&item, "n", &param)},
        {"135", p.QelParamReadonlyCreate(&item, "n", &value, 0, &param)},
        {"136", p.QelParameterValueGet(&param, &value)},
        {"137", p.QelParamReadonlyModify(&param, &value, 0)},
        {"138", p.QelGetNumofCsys(1, &out)},
        {"139", p.QelGetFirstCsys(1, &csys)},
        {"140", p.QelGetDefCsys(1, &csys)},
        {"141", p.QelCsysIdGet(&out, &out)},
        {"142", p.QelModelitemInit(1, 2, 3, &item)},
        {"143", p.QelSolidFeatCount(1, &out)},
        {"145", p.QelGetCsysMatrix(1, 2, m3)},
        {"146", p.QelModelitemNameGet(&item, text)},
        {"147", p.QelGetUserSelectCsys(1, &csys)},
        {"148", p.QelMdlNameIsUsed("n", 1, &out)},
        {"184", p.QelCsysInit(1, 2, &csys)},
        {"154", p.GetAssemblyInfo(1, &info, &extension)},
        {"159", p.SendAssemblyInfo(1, r.info, 2, 3, 0.5)},
        {"160", p.SetAtbImportLayers(1, r.layers)},
        {"161", p.GetAtbImportLayers(1, &layers)},
        {"178", p.SendTranslationLog(r.lines)},
        {"179", p.SetComponentColor(1, 2, three, six)},
        {"183", p.GetTranslationOptions(&translation, 1)},
        {"185", p.CopyFileFromRemote("a", "b")},
        {"187", p.SetComponentLayer(1, 2, "l")},
        {"188", p.CreateLayer(1, "l", 0, 2)},
    };
    for (const auto& [opcode, answer] : members)
        EXPECT_EQ(answer, 100) << "request " << opcode;
    // The other conventions: group C and 186 answer 0, 109 answers 1, 111
    // false, 153 a null model; 104 and 108 report nothing.
    EXPECT_EQ(p.QelGetModelUnit(1, 2, &out, text, &d), 0);
    EXPECT_EQ(p.QelSetModelUnit(1, 2, 3), 0);
    EXPECT_EQ(p.QelGetModelAccuracy(1, &d), 0);
    EXPECT_EQ(p.HDICSearchImage("i", &out), 0);
    EXPECT_EQ(p.IsModelUsed(1, "m"), 1);
    EXPECT_FALSE(p.RegisterClient("u", 1));
    EXPECT_FALSE(p.IsServerAlive());
    EXPECT_TRUE(p.GetQelIntfData(1, &options, nullptr, &extension).isNull());
    p.NotifyException("e");
    p.NotifyFinish();
    // No output was written.
    EXPECT_EQ(out, 5);
    EXPECT_EQ(d, 2.5);
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(format.str(), "keep");
    EXPECT_EQ(csys, nullptr);
    EXPECT_EQ(names, nullptr);
    EXPECT_EQ(ids, nullptr);

    // The host toolkit's functions answer what their requests answer.
    int32_t model = 1;
    QelMdl handle = nullptr;
    char16_t wide[QEL_PATH_LEN] = u"keep";
    const std::vector<std::pair<const char*, int>> functions = {
        {"QelDirectoryCurrentGet", QelDirectoryCurrentGet(wide)},
        {"QelSolidInit", QelSolidInit(u"s", 1, &handle)},
        {"QelSolidCreate", QelSolidCreate(u"s", 1, &handle)},
        {"QelImportfeatCreate_zpi", QelImportfeatCreate_zpi(&model, nullptr, r.data, nullptr, &item)},
        {"QelObjCurGet", QelObjCurGet(1, &handle)},
        {"QelMdlNameGet", QelMdlNameGet(&model, wide)},
        {"QelMdlTypeGet", QelMdlTypeGet(&model, &out)},
        {"QelTempPropertyIntGet", QelTempPropertyIntGet(u"n", &out)},
        {"QelTempPropertyPathGet", QelTempPropertyPathGet(u"n", wide)},
        {"QelTempPropertyIntSet", QelTempPropertyIntSet(u"n", 1)},
        {"QelTempPropertyPathSet", QelTempPropertyPathSet(u"n", u"p")},
        {"QelViewReset", QelViewReset(&model)},
        {"QelWindowCurrentGet", QelWindowCurrentGet(&out)},
        {"QelWindowRepaint", QelWindowRepaint(1)},
        {"QelMessageDisplay", QelMessageDisplay(u"f", "k")},
        {"QelMessageClear", QelMessageClear()},
        {"QelSolidRegenerate", QelSolidRegenerate(&model, 0)},
        {"QelExtdataSlotNamesList", QelExtdataSlotNamesList(&klass, &out, &names)},
        {"QelExtdataClassNamesList", QelExtdataClassNamesList(&model, &out, &names)},
        {"QelExtdataClassRegister", QelExtdataClassRegister(&model, u"c", &klass)},
        {"QelExtdataSlotCreate", QelExtdataSlotCreate(&klass, u"s", &slot)},
        {"QelExtdataSlotWrite", QelExtdataSlotWrite(&slot, 1, 1, 0, &out)},
        {"QelExtdataSlotIdsList", QelExtdataSlotIdsList(&klass, &out, &ids)},
        {"QelMdlToModelitem", QelMdlToModelitem(&model, &item)},
        {"QelParameterInit", QelParameterInit(&item, u"n", &param)},
        {"QelParamReadonlyCreate", QelParamReadonlyCreate(&item, u"n", &value, 0, &param)},
        {"QelParameterValueGet", QelParameterValueGet(&param, &value)},
        {"QelParamReadonlyModify", QelParamReadonlyModify(&param, &value, 0)},
        {"QelGetNumofCsys", QelGetNumofCsys(&model, &out)},
        {"QelGetFirstCsys", QelGetFirstCsys(&model, &csys)},
        {"QelGetDefCsys", QelGetDefCsys(&model, &csys)},
        {"QelCsysIdGet", QelCsysIdGet(&model, &out)},
        {"QelModelitemInit", QelModelitemInit(1, 2, 3, &item)},
        {"QelSolidFeatCount", QelSolidFeatCount(&model, &out)},
        {"QelGetCsysMatrix", QelGetCsysMatrix(&model, 1, m3)},
        {"QelModelitemNameGet", QelModelitemNameGet(&item, wide)},
        {"QelGetUserSelectCsys", QelGetUserSelectCsys(&model, &csys)},
        {"QelMdlNameIsUsed", QelMdlNameIsUsed(u"n", 1, &out)},
    };
    for (const auto& [name, answer] : functions)
        EXPECT_EQ(answer, 100) << name;
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(std::u16string(wide), u"keep");
    EXPECT_EQ(out, 5);
    EXPECT_EQ(item.owner, &owner);
}

TEST_F(NotSent, AHandOverNotWrittenWholeIsNeverAnnouncedAndTheFileBeforeStays) {
    Records r;
    ScopedEnv gg("GG_TEMP_FILE", nullptr);
    // Written into the callback server's memory: each request goes out.
    host->Script({"0\n9"});
    EXPECT_EQ(HandOverEach(*proxy, r), (std::vector<int>{0, 0, 0, 0, 0}));
    const size_t sent = host->Count();
    unimemlocation* mem = unimemlocation::GetRegistered();
    std::vector<std::string> before;
    for (const std::string& name : kHandOverFiles) {
        std::string data;
        EXPECT_TRUE(mem->ReadFile(("/ZPI/" + name).c_str(), data, nullptr)) << name;
        before.push_back(data);
    }

    // A store that fails: nothing is sent, every request answers 100, the
    // files handed over before stay, and each request tells why.
    const IntfXmlBnfsOpener old = IntfXmlRegisterBnfsOpener(
        [](const char* path, int mode, std::string* error) -> IntfXmlBnfsFile* {
            struct Refused : IntfXmlBnfsFile {
                long Read(char*, size_t) override { return -1; }
                long Write(const char*, size_t n) override { return long(n); }
                bool Close() override { return false; }
                std::string Error() const override { return "the location is full"; }
            };
            return mode == 2 ? new Refused : ZrOpenBnfsFile(path, mode, error);
        });
    std::vector<int> answers;
    std::string told;
    {
        ToldLines lines;
        answers = HandOverEach(*proxy, r);
        told = lines.Take();
    }
    IntfXmlRegisterBnfsOpener(old);
    EXPECT_EQ(answers, (std::vector<int>{100, 100, 100, 100, 100}));
    EXPECT_EQ(host->Count(), sent);
    for (size_t i = 0; i < kHandOverFiles.size(); ++i) {
        std::string data;
        EXPECT_TRUE(mem->ReadFile(("/ZPI/" + kHandOverFiles[i]).c_str(), data, nullptr));
        EXPECT_EQ(data, before[i]) << kHandOverFiles[i];
    }
    const std::vector<std::pair<int, std::string>> told103to178 = {
        {103, "zpi.neu"}, {103, "zpi.xml"}, {159, "assemInfo.xml"}, {160, "atbLayers.xml"},
        {178, "TranslationLog.xml"}};
    for (const auto& [opcode, name] : told103to178)
        EXPECT_TRUE(ToldLines::HasLine(told, {"request " + std::to_string(opcode) + " not sent: ",
                                               "\"" + url + name + "\"", "the location is full"}))
            << name << " in:\n"
            << told;
}

TEST_F(NotSent, AHandOverToTheTemporaryFolderThatCannotGrowIsNotSent) {
    filetargets::ScratchDir dir;
    ScopedEnv tmp("TMP", dir.Path("").c_str());
    ScopedEnv gg("GG_TEMP_FILE", "1");
    Records r;
    host->Script({"0\n9"});
    EXPECT_EQ(HandOverEach(*proxy, r), (std::vector<int>{0, 0, 0, 0, 0}));
    const size_t sent = host->Count();
    std::vector<std::string> before;
    for (const std::string& name : kHandOverFiles)
        before.push_back(filetargets::ReadAll(dir.Path(name)));

    // In a process whose files cannot grow past half the smallest of them,
    // every hand-over fails half-way: each request answers 100.
    size_t smallest = before[0].size();
    for (const std::string& data : before)
        smallest = std::min(smallest, data.size());
    ASSERT_GT(smallest, 16u);
    const int code = filetargets::RunWithFileSizeLimit(smallest / 2, [&] {
        int failed = 0;
        for (int answer : HandOverEach(*proxy, r))
            failed += answer == 100;
        return failed;
    });
    EXPECT_EQ(code, 5);
    EXPECT_EQ(host->Count(), sent);
    for (size_t i = 0; i < kHandOverFiles.size(); ++i)
        EXPECT_EQ(filetargets::ReadAll(dir.Path(kHandOverFiles[i])), before[i]) << kHandOverFiles[i];
}

TEST_F(NotSent, HandOverFilesAndTheTransferDumpAreWrittenWithoutWaitingForTheDisk) {
    filetargets::ScratchDir dir;
    ScopedEnv tmp("TMP", dir.Path("").c_str());
    ScopedEnv gg("GG_TEMP_FILE", "1");
    ScopedEnv dump("ZORVAN_DUMP_XML", "1");
    // The dump goes to the current folder.
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path(""));
    Records r;
    host->Script({"0\n9"});
    const uint64_t files = kkFileTestHooks::FileSyncs(), folders = kkFileTestHooks::FolderSyncs();
    const std::vector<int> answers = HandOverEach(*proxy, r);
    const uint64_t fileSyncs = kkFileTestHooks::FileSyncs() - files;
    const uint64_t folderSyncs = kkFileTestHooks::FolderSyncs() - folders;
    std::filesystem::current_path(cwd);
    EXPECT_EQ(answers, (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_EQ(fileSyncs, 0u);
    EXPECT_EQ(folderSyncs, 0u);
    for (const std::string& name : kHandOverFiles)
        EXPECT_FALSE(filetargets::ReadAll(dir.Path(name)).empty()) << name;
    EXPECT_FALSE(filetargets::ReadAll(dir.Path("transferred.xml")).empty());
}

TEST_F(NotSent, ANeutralFileWhoseFolderIsNotUtf8IsRefusedNotWrittenUnderAnotherName) {
    filetargets::ScratchDir dir;
    const std::string bad = dir.Path("x\xff");                 // the folder named
    const std::string lenient = dir.Path("x\xEF\xBF\xBD");     // what a lenient conversion names
    ASSERT_EQ(::mkdir(bad.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(lenient.c_str(), 0777), 0);
    ScopedEnv tmp("TMP", bad.c_str());
    ScopedEnv gg("GG_TEMP_FILE", "1");
    Records r;
    int feature = -7;
    ZrSetImportFormat(0);
    {
        ToldLines lines;
        EXPECT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, r.data, nullptr, &feature), 100);
        EXPECT_NE(lines.Take().find("request 103 not sent: cannot write " +
                                    btkQuoted(bad + "/zpi.neu") + ": the path is not UTF-8\n"),
                  std::string::npos);
    }
    EXPECT_EQ(feature, -7);
    EXPECT_EQ(host->Count(), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(bad));
    EXPECT_TRUE(std::filesystem::is_empty(lenient));
}

} // namespace
