// The client against a host server in the test process, on the loopback
// address: start-up and registration, the callback requests, and the jobs
// run by the loop with their finish request.
#include "api/kpi_interfaces.h"
#include "api/kpi_session.h"
#include "client/zr_strings.h"
#include "api/zpi50_client.h"
#include "client/zr_callback.h"
#include "client/zr_client.h"
#include "client/zr_jobs.h"
#include "kernel/records/qel_routines.h"
#include "net.h"
#include "uniloc.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_streams.h"
#include "xml/intfdata/xml_zpi.h"
#include "xml/intfdata_fixtures.h"
#include "client/fake_host.h"
#include "btk_quoted.h"
#include "file_targets.h"
#include "loopback.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// ---- the host -------------------------------------------------------------------------

// Records every request it receives and answers each with "0".
class FakeHost : public bnfsServer {
public:
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> hold(mutex_);
        return requests_;
    }
    int Count(const std::string& request) {
        std::lock_guard<std::mutex> hold(mutex_);
        int n = 0;
        for (const auto& r : requests_)
            n += r == request;
        return n;
    }
    // Waits (bounded) until `request` has come `n` times in all.
    bool WaitFor(const std::string& request, int n = 1) {
        std::unique_lock<std::mutex> hold(mutex_);
        return cv_.wait_for(hold, 10s, [&] {
            int k = 0;
            for (const auto& r : requests_)
                k += r == request;
            return k >= n;
        });
    }
    // The first request beginning with `prefix`, or "".
    std::string Find(const std::string& prefix) {
        std::lock_guard<std::mutex> hold(mutex_);
        for (const auto& r : requests_)
            if (r.compare(0, prefix.size(), prefix) == 0)
                return r;
        return "";
    }

    void Record(std::string request) {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            requests_.push_back(std::move(request));
        }
        cv_.notify_all();
    }

protected:
    class Session : public bnfsSession {
    public:
        Session(btkSocketStream* s, FakeHost* host) : bnfsSession(s, host, 5), host_(host) {}

    protected:
        void DoOtherRequest() override {
            btkString text;
            ASSERT_TRUE(ReadSessionText(In(), text));
            host_->Record(text.str());
            WriteSessionText(Out(), "0");
        }

    private:
        FakeHost* host_;
    };

    bnfsSession* MakeSession(btkSocketStream* s) override { return new Session(s, this); }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> requests_;
};

// ---- what the translator functions saw ----------------------------------------------------

struct Seen {
    std::mutex mutex;
    std::vector<std::vector<std::string>> calls; // arguments of each call
    double accuracy = -1;
    bool sawExtension = false;
    std::atomic<bool> throwNext{false};

    void Record(int argc, char** argv) {
        std::vector<std::string> args;
        for (int i = 0; i < argc; ++i)
            args.emplace_back(argv[i]);
        EXPECT_EQ(argv[argc], nullptr);
        std::lock_guard<std::mutex> hold(mutex);
        calls.push_back(std::move(args));
    }
    size_t Calls() {
        std::lock_guard<std::mutex> hold(mutex);
        return calls.size();
    }
};
Seen g_seen;

int exportFn(int argc, char** const argv) {
    g_seen.Record(argc, argv);
    if (g_seen.throwNext) {
        g_seen.throwNext = false;
        std::string what = "translator failed"; // with what the host gave it
        for (int i = 0; i < argc; ++i)
            what += std::string(": cannot open ") + argv[i];
        throw std::runtime_error(what);
    }
    return 0;
}

// An export function that waits (bounded) until the test opens its gate.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool inside = false;
    bool open = false;

    // Closed and empty again, for a test that uses it.
    void Reset() {
        std::lock_guard<std::mutex> hold(mutex);
        inside = false;
        open = false;
    }
} g_gate;

int gatedExportFn(int argc, char** const argv) {
    g_seen.Record(argc, argv);
    std::unique_lock<std::mutex> hold(g_gate.mutex);
    g_gate.inside = true;
    g_gate.cv.notify_all();
    g_gate.cv.wait_for(hold, 10s, [] { return g_gate.open; });
    return 0;
}

int importFn(xrchandle<KWPIModel> model, qel_intf_data_extend* extension, int argc,
             char** const argv) {
    {
        std::lock_guard<std::mutex> hold(g_seen.mutex);
        g_seen.accuracy = model ? model->GetAccuracy() : -2;
        g_seen.sawExtension = extension != nullptr;
    }
    g_seen.Record(argc, argv);
    return 0;
}

// A part import that hands its model straight back to the host (103).
ZorvanProxy* g_handBackProxy = nullptr;

int handBackFn(xrchandle<KWPIModel> model, qel_intf_data_extend* extension, int argc,
               char** const argv) {
    g_seen.Record(argc, argv);
    int feature = 0;
    EXPECT_EQ(g_handBackProxy->ImportQelIntfDataToFeature(1, nullptr, model, extension, &feature), 0);
    return 0;
}

// A part import that keeps its model to hand it over after its job.
xrchandle<KWPIModel> g_keptModel;

int keepFn(xrchandle<KWPIModel> model, qel_intf_data_extend*, int argc, char** const argv) {
    g_seen.Record(argc, argv);
    g_keptModel = model;
    return 0;
}

// ---- fixture --------------------------------------------------------------------------------

class ClientFlow : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> hold(g_seen.mutex);
            g_seen.calls.clear();
        }
        g_seen.accuracy = -1;
        g_seen.sawExtension = false;
        g_seen.throwNext = false;
        ASSERT_TRUE(host_.Init(0, nullptr));
        host_.SetTimeSlice(0.02);
        hostThread_ = std::thread([this] { host_.Run(); });
        url_ = "bnfs://127.0.0.1:" + std::to_string(host_.GetPort()) + "/";
        proxy_ = ZrInitializeClient(url_.c_str());
        ASSERT_TRUE(proxy_);
        callbackUrl_ = ZrGetCallbackUrl().str();
        ASSERT_EQ(callbackUrl_.compare(0, 17, "bnfs://127.0.0.1:"), 0);
        ASSERT_EQ(callbackUrl_.substr(callbackUrl_.size() - 5), "/ZPI/");
        callbackPort_ = std::stoi(callbackUrl_.substr(17));
        bnfsError e;
        callback_ = BNFSConnection::Open(e, "127.0.0.1", callbackPort_);
        ASSERT_NE(callback_, nullptr) << e.message;
        callback_->SetTimeout(10);
    }

    void TearDown() override {
        StopLoop();
        BNFSConnection::Close(callback_);
        proxy_.release();
        ZrShutdownClient();
        ZrInitBinding();
        ZrSetImportFormat(0);
        host_.RequestStop();
        hostThread_.join();
        host_.Shutdown();
    }

    void StartLoop() {
        loop_ = std::thread([] { EXPECT_TRUE(ZrRunClient()); });
    }
    void StopLoop() {
        if (loop_.joinable()) {
            ZrRequestClientLoopStop();
            loop_.join();
        }
    }

    // A callback request as the host sends it; its reply text.
    std::string Callback(const std::string& request) {
        btkString reply;
        bnfsError e;
        EXPECT_TRUE(BNFSConnection::OtherRequest(callback_, request.c_str(), reply, e))
            << e.message;
        return reply.str();
    }

    FakeHost host_;
    std::thread hostThread_;
    std::string url_;
    xrchandle<ZorvanProxy> proxy_;
    std::string callbackUrl_;
    int callbackPort_ = 0;
    BNFSConnection* callback_ = nullptr;
    std::thread loop_;
};

TEST_F(ClientFlow, PartImportFromADocumentInTheCallbackMemory) {
    ASSERT_TRUE(ZrRegisterImportTranslator(&importFn));

    // The host places the document in the client's memory area.
    qel_intf_data* data = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&data), 0);
    data->accuracy_type = 2;
    data->accuracy = 0.025;
    const std::string local =
        ::testing::TempDir() + "client_flow_part_" + std::to_string(::getpid()) + ".xml";
    { IntfXmlZPI writer(local.c_str(), data); }
    qel_intf_data_free(data);
    std::stringstream doc;
    doc << std::ifstream(local).rdbuf();
    ::unlink(local.c_str());
    bnfsError e;
    ASSERT_TRUE(BNFSConnection::WriteFile(callback_, "/ZPI/part.xml", doc.str().data(),
                                          doc.str().size(), e))
        << e.message;

    StartLoop();
    // Registration: the callback URL and this process's id.
    ASSERT_TRUE(host_.WaitFor("111\n" + callbackUrl_ + "\n" + std::to_string(::getpid())));

    // With the dump switched on, the document received is also copied to
    // "transferred.xml" in the current directory (a folder of this test's:
    // other runs of the suite may dump theirs at once).
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    const filetargets::ScratchDir here;
    ASSERT_EQ(::chdir(here.Path("").c_str()), 0);
    ::setenv("ZORVAN_DUMP_XML", "1", 1);
    EXPECT_EQ(Callback("110\n" + callbackUrl_ + "part.xml\n2\n-in\nmodel.prt"), "0");
    const bool finished = host_.WaitFor("108");
    ::unsetenv("ZORVAN_DUMP_XML");
    std::stringstream dumped;
    dumped << std::ifstream("transferred.xml").rdbuf();
    ASSERT_EQ(::chdir(cwd), 0);
    ASSERT_TRUE(finished);
    EXPECT_EQ(dumped.str(), doc.str());
    {
        std::lock_guard<std::mutex> hold(g_seen.mutex);
        ASSERT_EQ(g_seen.calls.size(), 1u);
        EXPECT_EQ(g_seen.calls[0], (std::vector<std::string>{"-in", "model.prt"}));
        EXPECT_DOUBLE_EQ(g_seen.accuracy, 0.025);
        EXPECT_FALSE(g_seen.sawExtension);
    }

    // A document that is not there: no call, one finish.
    EXPECT_EQ(Callback("110\n" + callbackUrl_ + "missing.xml\n0"), "0");
    ASSERT_TRUE(host_.WaitFor("108", 2));
    // Neither is a local file that does not exist.
    EXPECT_EQ(Callback("110\n/no/such/dir/part.xml\n0"), "0");
    ASSERT_TRUE(host_.WaitFor("108", 3));
    StopLoop();
    EXPECT_EQ(g_seen.Calls(), 1u);
    EXPECT_EQ(host_.Count("108"), 3);
}

TEST_F(ClientFlow, APartImportHandedBackAsXmlCarriesTheDocumentsFaces) {
    ASSERT_TRUE(ZrRegisterImportTranslator(&handBackFn));
    g_handBackProxy = proxy_.get();
    qel_intf_data* data = zpifix::fullIntfData();
    { IntfXmlZPI writer((callbackUrl_ + "faces.xml").c_str(), data); }
    StartLoop();
    EXPECT_EQ(Callback("149\n1"), "0");
    EXPECT_EQ(Callback("110\n" + callbackUrl_ + "faces.xml\n0"), "0");
    ASSERT_TRUE(host_.WaitFor("108"));
    StopLoop();
    EXPECT_EQ(host_.Find("103\n"), "103\n1\n-1\n" + callbackUrl_ + "zpi.xml\n1");
    qel_intf_data* back = nullptr;
    IntfXmlZPI::Read((callbackUrl_ + "zpi.xml").c_str(), &back, nullptr);
    zpifix::expectSameIntfData(data, back);
    qel_intf_data_free(back);
    qel_intf_data_free(data);
}

TEST_F(ClientFlow, APartImportModelKeptPastItsJobIsRefusedUnsent) {
    // The job closed the model when it returned: in either format it is
    // refused and told, as WriteZPI refuses it, and nothing goes out.
    ASSERT_TRUE(ZrRegisterImportTranslator(&keepFn));
    qel_intf_data* data = zpifix::fullIntfData();
    { IntfXmlZPI writer((callbackUrl_ + "kept.xml").c_str(), data); }
    qel_intf_data_free(data);
    StartLoop();
    EXPECT_EQ(Callback("110\n" + callbackUrl_ + "kept.xml\n0"), "0");
    ASSERT_TRUE(host_.WaitFor("108"));
    StopLoop();
    ASSERT_TRUE(g_keptModel);
    for (int format : {0, 1}) {
        ZrSetImportFormat(format);
        int feature = 0;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(proxy_->ImportQelIntfDataToFeature(1, nullptr, g_keptModel, nullptr, &feature),
                  100);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "request 103 not sent: the model was closed: it has no interface data\n");
    }
    EXPECT_EQ(host_.Find("103\n"), "");
    g_keptModel.release();
}

TEST_F(ClientFlow, PartImportNamingADirectoryOrAFifoFinishesAtOnce) {
    ASSERT_TRUE(ZrRegisterImportTranslator(&importFn));
    filetargets::NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    // The dump is on as well: it must not wait on the FIFO either. Its copy
    // would go to the scratch folder.
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(files.Directory().c_str()), 0);
    ::setenv("ZORVAN_DUMP_XML", "1", 1);
    StartLoop();
    EXPECT_EQ(Callback("110\n" + files.Directory() + "\n0"), "0");
    const bool first = host_.WaitFor("108", 1);
    EXPECT_EQ(Callback("110\n" + files.Fifo() + "\n1\nx"), "0");
    const bool second = host_.WaitFor("108", 2);
    ::unsetenv("ZORVAN_DUMP_XML");
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    // A job stuck on the FIFO would keep the loop from stopping: give the
    // FIFO writers until it has let go.
    for (int i = 0; !second && i < 300; ++i) {
        const int fd = ::open(files.Fifo().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        std::this_thread::sleep_for(10ms);
    }
    StopLoop();
    EXPECT_EQ(::chdir(cwd), 0);
    EXPECT_EQ(g_seen.Calls(), 0u);
    // The dump made no copy of either.
    EXPECT_NE(::access((files.Directory() + "/transferred.xml").c_str(), F_OK), 0);
}

TEST_F(ClientFlow, ExportJobsAndTheirArguments) {
    ASSERT_TRUE(ZrRegisterExportTranslator(&exportFn));
    ASSERT_TRUE(ZrRegisterAssemImportTranslator(&exportFn));
    StartLoop();
    EXPECT_EQ(Callback("112\n0"), "0");
    ASSERT_TRUE(host_.WaitFor("108", 1));
    EXPECT_EQ(Callback("112\n2\n-in\nmodel.prt"), "0");
    ASSERT_TRUE(host_.WaitFor("108", 2));
    // More arguments claimed than given: only those given.
    EXPECT_EQ(Callback("112\n5\nonly"), "0");
    ASSERT_TRUE(host_.WaitFor("108", 3));
    EXPECT_EQ(Callback("152\nx\n1\nasm.asm"), "0");
    ASSERT_TRUE(host_.WaitFor("108", 4));
    // A translator that throws: one finish, and the next job runs.
    g_seen.throwNext = true;
    EXPECT_EQ(Callback("112\n1\nboom"), "0");
    ASSERT_TRUE(host_.WaitFor("108", 5));
    EXPECT_EQ(Callback("112\n1\nafter"), "0");
    ASSERT_TRUE(host_.WaitFor("108", 6));
    StopLoop();
    EXPECT_EQ(host_.Count("108"), 6);
    using V = std::vector<std::string>;
    std::lock_guard<std::mutex> hold(g_seen.mutex);
    EXPECT_EQ(g_seen.calls, (std::vector<V>{V{}, V{"-in", "model.prt"}, V{"only"}, V{"asm.asm"},
                                            V{"boom"}, V{"after"}}));
}

TEST_F(ClientFlow, CallbackRequestsAndThePendingSlot) {
    ASSERT_TRUE(ZrRegisterExportTranslator(&exportFn));
    // Before the loop runs: two jobs, only the second one runs.
    EXPECT_EQ(Callback("112\n1\nfirst"), "0");
    EXPECT_EQ(Callback("112\n1\nsecond"), "0");
    // Not a job: an empty reply, the slot stays.
    EXPECT_EQ(Callback("999"), "");
    EXPECT_EQ(Callback("149\n1"), "0");
    EXPECT_EQ(ZrGetImportFormat(), 1);
    EXPECT_EQ(Callback("149\nx"), "0"); // not a number: kept
    EXPECT_EQ(ZrGetImportFormat(), 1);

    // A request that is no text item is answered with the number 20.
    {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(callbackPort_));
        a.sin_addr.s_addr = htonl(0x7f000001);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        btkSocketStream raw(fd);
        bnfsError e;
        ASSERT_TRUE(bnfsWriteFrame(raw, 'Q', "112\n0", 5, &e));
        bnfsFrame f;
        ASSERT_TRUE(bnfsReadFrame(raw, f, 10, 10, &e)) << e.message;
        EXPECT_EQ(f.kind, 'R');
        EXPECT_EQ(f.payload, "N20;");
    }

    StartLoop();
    ASSERT_TRUE(host_.WaitFor("108"));
    StopLoop();
    std::lock_guard<std::mutex> hold(g_seen.mutex);
    ASSERT_EQ(g_seen.calls.size(), 1u);
    EXPECT_EQ(g_seen.calls[0], std::vector<std::string>{"second"});
}

TEST_F(ClientFlow, JobArrivingWhileAJobRunsIsAnsweredAtOnceAndRunsNext) {
    g_gate.Reset();
    ASSERT_TRUE(ZrRegisterExportTranslator(&gatedExportFn));
    StartLoop();
    EXPECT_EQ(Callback("112\n1\nfirst"), "0");
    {
        std::unique_lock<std::mutex> hold(g_gate.mutex);
        ASSERT_TRUE(g_gate.cv.wait_for(hold, 10s, [] { return g_gate.inside; }));
    }
    // The callback server answers while the first job runs; the running
    // job is not replaced under its feet.
    EXPECT_EQ(Callback("112\n1\nsecond"), "0");
    EXPECT_EQ(host_.Count("108"), 0);
    {
        std::lock_guard<std::mutex> hold(g_gate.mutex);
        g_gate.open = true;
    }
    g_gate.cv.notify_all();
    ASSERT_TRUE(host_.WaitFor("108", 2));
    StopLoop();
    using V = std::vector<std::string>;
    std::lock_guard<std::mutex> hold(g_seen.mutex);
    EXPECT_EQ(g_seen.calls, (std::vector<V>{V{"first"}, V{"second"}}));
}

TEST_F(ClientFlow, NoFunctionBoundStillFinishes) {
    StartLoop();
    EXPECT_EQ(Callback("152\nx\n0"), "0");
    EXPECT_EQ(Callback("110\nwhatever.xml\n0"), "0");
    ASSERT_TRUE(host_.WaitFor("108", 1));
    StopLoop();
    EXPECT_GE(host_.Count("108"), 1);
}

TEST_F(ClientFlow, AJobThatEndsWithoutItsTranslatorsWorkSaysWhy) {
    ASSERT_TRUE(ZrRegisterExportTranslator(&exportFn));
    ASSERT_TRUE(ZrRegisterImportTranslator(&importFn));
    filetargets::ScratchDir dir;
    const std::string empty = dir.Path("empty.xml");
    filetargets::WriteAll(empty, "");
    const std::string other = dir.Path("other.xml");
    filetargets::WriteAll(other, "<Model/>");
    StartLoop();
    ASSERT_TRUE(host_.WaitFor("111\n" + callbackUrl_ + "\n" + std::to_string(::getpid())));

    // Each job is told on standard error, and each still finishes.
    auto toldBy = [&](const std::string& request, int finishes) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Callback(request), "0");
        EXPECT_TRUE(host_.WaitFor("108", finishes));
        return ::testing::internal::GetCapturedStderr();
    };
    g_seen.throwNext = true;
    EXPECT_EQ(toldBy("112\n0", 1),
              "job of \"ExportTranslator\": the translator function raised: translator failed\n");
    // Its words, which may quote what the host gave it (an argument with a
    // carriage return, an escape and a line separator), on the one line.
    g_seen.throwNext = true;
    EXPECT_EQ(toldBy("112\n1\na\r\x1B[2K\xE2\x80\xA8\\x0A.prt", 2),
              "job of \"ExportTranslator\": the translator function raised: translator failed: "
              "cannot open a\\x0D\\x1B[2K\\u2028\\\\x0A.prt\n");
    EXPECT_EQ(toldBy("152\nx\n0", 3), "job of \"ImportAssemTranslator\": no translator "
                                      "function is registered under this name; the job ends\n");
    EXPECT_EQ(toldBy("110\n" + empty + "\n0", 4),
              "job of \"ImportPartTranslator\": cannot read " + btkQuoted(empty) +
                  ": empty document\n");
    // A document that is read but holds no interface data is told as
    // ReadZPI tells it (its second line).
    const std::string html = dir.Path("page.xml");
    filetargets::WriteAll(html, "<html><body/></html>");
    const std::string bare = dir.Path("bare.xml");
    filetargets::WriteAll(bare, "<ZPI><QelIntfDataExtend></QelIntfDataExtend></ZPI>");
    int finishes = 4;
    for (const auto& [path, reason] :
         {std::pair<std::string, std::string>{
              other, "not an interface-data document (root element \"Model\")"},
          {html, "line 1, column 14: not an interface-data document (root element \"html\")"},
          {bare, "the document holds no \"QelIntfData\""}}) {
        const std::string said = "cannot read " + btkQuoted(path) + ": " + reason + "\n";
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(KGetPISession()->ReadZPI(path.c_str()));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Could not read the XML data.\n" + said);
        EXPECT_EQ(toldBy("110\n" + path + "\n0", ++finishes), "job of \"ImportPartTranslator\": " + said);
    }
    StopLoop();
    EXPECT_EQ(g_seen.Calls(), 2u); // the exports that raised
}

TEST_F(ClientFlow, DocumentsWrittenAndReadByBnfsPaths) {
    // The opener reaches the callback server's memory over the connection.
    const std::string path = callbackUrl_ + "out.txt";
    {
        std::unique_ptr<IntfXmlIOStream> out = IntfXmlOpenOutput(path.c_str());
        *out << "<ZPI>" << "</ZPI>";
        IntfXmlCloseOutput(*out, path.c_str());
    }
    std::string data;
    ASSERT_TRUE(unimemlocation::GetRegistered()->ReadFile("/ZPI/out.txt", data, nullptr));
    EXPECT_EQ(data, "<ZPI></ZPI>");
    // Paths that name no server location are refused when opened.
    EXPECT_THROW(IntfXmlOpenOutput("bnfs://127.0.0.1/ZPI/x"), IntfXmlError);
    EXPECT_THROW(IntfXmlOpenOutput((callbackUrl_ + "../x").c_str()), IntfXmlError);
    const RefusingLoopbackPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    EXPECT_THROW(IntfXmlOpenOutput(refusing.Url("ZPI/x").c_str()), IntfXmlError);
}

TEST(ClientStartup, NothingWithoutAClient) {
    ZrShutdownClient();
    EXPECT_FALSE(ZrRunClient());
    EXPECT_EQ(RunClient(), 0);
    EXPECT_FALSE(ZrRegisterExportTranslator(&exportFn));
    EXPECT_EQ(RegisterExportTranslator(&exportFn), 0);
    EXPECT_EQ(ZrGetBoundFunction("ExportTranslator"), nullptr);
    // No server at the URL: no facade proxy.
    const RefusingLoopbackPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(InitializeClient(refusing.Url().c_str()), 0);
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(ZrGetFacadeProxy());
    NotifyFinish(); // without a facade proxy: nothing happens
    ZrShutdownClient();
    ZrInitBinding();
}

// ZrRunClient, bounded: whether it returned by itself, and what it answered.
std::pair<bool, bool> RunClientBounded() {
    return zr_test::RunBounded([] { return ZrRunClient(); }, 5s);
}

TEST(ClientStartup, AStartUpThatFailsSaysWhyAndNothingRunsAfterIt) {
    // A host is there, for the URL whose scheme is not bnfs.
    FakeHost host;
    ASSERT_TRUE(host.Init(0, nullptr));
    host.SetTimeSlice(0.02);
    std::thread hostThread([&] { host.Run(); });
    const std::string port = std::to_string(host.GetPort());
    const RefusingLoopbackPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    const std::string nobody = refusing.Url();
    const struct {
        std::string url;
        std::string said;
    } cases[] = {
        {"", "\"\" is not a bnfs://host:port/ URL"},
        {"garbage", "\"garbage\" is not a bnfs://host:port/ URL"},
        {"bnfs://127.0.0.1:99999/", "\"bnfs://127.0.0.1:99999/\" is not a bnfs://host:port/ URL"},
        {"bnfs://127.0.0.1:0/", "\"bnfs://127.0.0.1:0/\" is not a bnfs://host:port/ URL"},
        {"bnfs://:" + port + "/", "\"bnfs://:" + port + "/\" is not a bnfs://host:port/ URL"},
        {"http://127.0.0.1:" + port + "/",
         "\"http://127.0.0.1:" + port + "/\" is not a bnfs://host:port/ URL"},
        {nobody, "cannot connect to \"127.0.0.1:" + std::to_string(refusing.Port()) + "\" (\"" +
                     nobody + "\"): Connection refused"},
        // (The scheme in any case.)
        {"BNFS" + nobody.substr(4),
         "cannot connect to \"127.0.0.1:" + std::to_string(refusing.Port()) + "\" (\"BNFS" +
             nobody.substr(4) + "\"): Connection refused"},
    };
    for (const auto& c : cases) {
        for (bool plainC : {false, true}) {
            SCOPED_TRACE(c.url + (plainC ? " (InitializeClient)" : " (ZrInitializeClient)"));
            ::testing::internal::CaptureStderr();
            if (plainC)
                EXPECT_EQ(InitializeClient(c.url.c_str()), 0);
            else
                EXPECT_FALSE(ZrInitializeClient(c.url.c_str()));
            EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.said + "\n");
            EXPECT_FALSE(ZrGetFacadeProxy());
            // Registrations are refused, and the loop answers at once.
            EXPECT_FALSE(ZrRegisterExportTranslator(&exportFn));
            EXPECT_FALSE(ZrRegisterImportTranslator(&importFn));
            EXPECT_FALSE(ZrRegisterAssemImportTranslator(&exportFn));
            EXPECT_EQ(RegisterExportTranslator(&exportFn), 0);
            EXPECT_EQ(ZrGetBoundFunction("ExportTranslator"), nullptr);
            const auto [byItself, answer] = RunClientBounded();
            EXPECT_TRUE(byItself) << "ZrRunClient waited for jobs that cannot come";
            EXPECT_FALSE(answer);
            EXPECT_EQ(RunClient(), 0);
            ZrShutdownClient();
            ZrInitBinding();
        }
    }
    // Not even the URL of another scheme reached the host.
    EXPECT_TRUE(host.Requests().empty());

    // A start-up that fails after one that succeeded leaves nothing to run.
    const std::string url = "bnfs://127.0.0.1:" + port + "/";
    ASSERT_TRUE(ZrInitializeClient(url.c_str()));
    EXPECT_TRUE(ZrRegisterExportTranslator(&exportFn));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(ZrInitializeClient(nobody.c_str()));
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(ZrRegisterExportTranslator(&exportFn));
    EXPECT_FALSE(RunClientBounded().second);
    ZrShutdownClient();
    ZrInitBinding();
    host.RequestStop();
    hostThread.join();
    host.Shutdown();
}

// The proxy holds the fields that translators were built with (host, port,
// connection, server URL) and nothing more: one that a translator makes
// itself is as large as the library takes it to be.
TEST(ClientStartup, TheProxyHoldsItsFourFields) {
    struct Fields : xobject {
        std::string host;
        int32_t port;
        void* connection;
        std::string serverUrl;
    };
    EXPECT_EQ(sizeof(ZorvanProxy), sizeof(Fields));
}

TEST(ClientStartup, SecondStartUpKeepsTheClient) {
    FakeHost host;
    ASSERT_TRUE(host.Init(0, nullptr));
    host.SetTimeSlice(0.02);
    std::thread t([&] { host.Run(); });
    const std::string url = "bnfs://127.0.0.1:" + std::to_string(host.GetPort()) + "/";
    ASSERT_EQ(InitializeClient(url.c_str()), 1);
    xrchandle<ZorvanProxy> facade = ZrGetFacadeProxy();
    ASSERT_TRUE(facade);
    const btkString firstUrl = ZrGetCallbackUrl();
    xrchandle<ZorvanProxy> again = ZrInitializeClient(url.c_str());
    EXPECT_EQ(again.get(), facade.get());
    EXPECT_FALSE(ZrGetCallbackUrl() == firstUrl); // a further callback server
    NotifyFinish();
    EXPECT_TRUE(host.WaitFor("108"));
    facade.release();
    again.release();
    ZrShutdownClient();
    host.RequestStop();
    t.join();
    host.Shutdown();
}

} // namespace
