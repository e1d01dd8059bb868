// A translator started with standard descriptors closed (as a service
// manager or a host may start one) writes what it writes with every
// descriptor open: its documents, the neutral part it saves through its own
// file stream, its journal and what request 103 hands over hold nothing
// that the library tells, and the same bytes.
#include "client/fake_host.h"
#include "client/zr_bnfs.h"
#include "file_targets.h"
#include "one_face_model.h"
#include "stuck_standard_error.h"
#include "zpi50.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using filetargets::ReadAll;
using filetargets::ScratchDir;
using Fds = std::vector<int>;

// A document of one face whose reader tells that it does not read an
// attribute, and whose extension a neutral part cannot carry whole (element
// colours without reference colours, a layer without items).
void WriteTellingDocument(const std::string& path) {
    xrchandle<KWPIModel> model = OneFaceModel();
    xrchandle<KWPIModelExt> ext = KGetPISession()->CreatePIModelExt();
    xrchandle<KPIElementColorList> colors(KPIElementColorList::create());
    colors->Append(ext->CreatePIElementColor(1, 0, 0));
    ext->SetPIElementColors(colors);
    xrchandle<KPILayerList> layers(KPILayerList::create());
    layers->Append(ext->CreatePILayer("EMPTY"));
    ext->SetPILayers(layers);
    model->SetWPIModelExt(ext);
    model->WriteZPI(path.c_str());
    std::string text = ReadAll(path);
    const size_t face = text.find('>', text.find("<Face "));
    ASSERT_NE(face, std::string::npos) << text;
    text.insert(face, " zz=\"1\"");
    filetargets::WriteAll(path, text);
}

// Starts the test translator with `args` in `folder`, with the descriptors
// `closed` closed and the others as this process has them, but for
// descriptor 2, which is `err` when given, else the file "stderr" of
// `folder` when open. With `journal` it journals into "journal" of
// `folder`. Its process (killed after 50 s), or -1.
pid_t StartTranslator(const std::string& folder, const Fds& closed,
                      const std::vector<std::string>& args, bool journal = true, int err = -1) {
    std::vector<std::string> texts{ZPI_TEST_TRANSLATOR};
    texts.insert(texts.end(), args.begin(), args.end());
    const size_t arguments = texts.size();
    // This process's environment without the library's variables.
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("ZORVAN_", 0) != 0 && entry.rfind("DISABLE_QELKERNEL_JOURNAL=", 0) != 0 &&
            entry.rfind("GG_TEMP_FILE=", 0) != 0)
            texts.push_back(entry);
    }
    if (journal)
        texts.push_back("ZORVAN_JOURNAL_FILE=journal");
    texts.push_back("ZORVAN_REPLY_TIMEOUT=30");
    std::vector<char*> argv, envp;
    for (size_t i = 0; i < texts.size(); ++i)
        (i < arguments ? argv : envp).push_back(texts[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const bool errOpen = std::find(closed.begin(), closed.end(), 2) == closed.end();
    const bool errFile = errOpen && err < 0;
    if (errFile)
        err = ::open((folder + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (errOpen && err < 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0 || (err >= 0 && ::dup2(err, 2) != 2))
            ::_exit(126);
        for (int fd : closed)
            ::close(fd);
        ::alarm(50);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (errFile)
        ::close(err);
    return pid;
}

// The exit code of the translator `pid`, once it ended; -1 when it did not
// exit.
int Finished(pid_t pid) {
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Runs the test translator as StartTranslator starts it: its exit code.
int RunTranslator(const std::string& folder, const Fds& closed,
                  const std::vector<std::string>& args, bool journal = true, int err = -1) {
    return Finished(StartTranslator(folder, closed, args, journal, err));
}

std::string Closed(const Fds& closed) {
    std::string text = "descriptors closed:";
    for (int fd : closed)
        text += " " + std::to_string(fd);
    return closed.empty() ? "every descriptor open" : text;
}

TEST(StandardDescriptors, ClosedOnesHoldTheNullDeviceOnceTheLibraryIsLoaded) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Made());
    EXPECT_EQ(RunTranslator(dir.Folder(), {0, 1, 2}, {"standard"}, false), 0)
        << "bit n: descriptor n is not the null device";
}

TEST(StandardDescriptors, ATranslatorStartedWithThemClosedWritesWhatItWritesWithThemOpen) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Made());
    const std::string document = dir.Path("in.xml");
    WriteTellingDocument(document);
    using Names = std::vector<std::string>;
    for (const bool journal : {false, true}) {
        // Without the journal the translator's own file stream is the first
        // file opened after the start.
        const Names written =
            journal ? Names{"doc.xml", "journal", "part.neu"} : Names{"doc.xml", "part.neu"};
        Names open;
        for (const Fds& closed : {Fds{}, Fds{2}, Fds{0, 1, 2}}) {
            SCOPED_TRACE(Closed(closed) + (journal ? ", journaled" : ""));
            const std::string folder =
                dir.Path("run" + std::to_string(closed.size()) + (journal ? "j" : ""));
            ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
            EXPECT_EQ(RunTranslator(folder, closed, {"save", document}, journal), 0);
            if (closed.empty()) {
                // What the reader and the save tell, on standard error.
                const std::string told = ReadAll(folder + "/stderr");
                EXPECT_NE(told.find("\"Face\" holds the attribute \"zz\", which is not read"),
                          std::string::npos)
                    << told;
                EXPECT_NE(told.find("SaveAsNeutral: layer \"EMPTY\" has no items"),
                          std::string::npos)
                    << told;
                for (const std::string& name : written)
                    open.push_back(ReadAll(folder + "/" + name));
                EXPECT_TRUE(!journal || open[1].find("ReadZPI") != std::string::npos) << open[1];
                continue;
            }
            EXPECT_EQ(filetargets::NamesIn(folder), written);
            for (size_t i = 0; i < open.size(); ++i)
                EXPECT_EQ(ReadAll(folder + "/" + written[i]), open[i]) << written[i];
        }
    }
}

TEST(StandardDescriptors, AStandardErrorWhoseReaderTakesNothingHoldsAJobUpOnceNotOnceALine) {
    // Jobs that tell two lines and more (the reader's; the save's, of the
    // layer and the colours; one per further read), with and without a
    // timer signal. Each runs with standard error open, which gives what
    // it writes and its own time, then all at once with standard error a
    // full non-blocking pipe whose reader takes nothing: each ends within
    // one wait of 10 s, its own time and a margin, and writes the same.
    ScratchDir dir;
    ASSERT_TRUE(dir.Made());
    const std::string document = dir.Path("in.xml");
    WriteTellingDocument(document);
    const struct {
        const char* name;
        std::vector<std::string> args;
        size_t lines; // told at least
    } jobs[] = {
        {"no timer", {"save", document}, 3},
        {"a timer every 20 ms", {"save", document, "1", "20"}, 3},
        {"a timer every 2 s", {"save", document, "1", "2000"}, 3},
        {"twenty reads, a timer every 20 ms", {"save", document, "20", "20"}, 22},
    };
    const size_t n = std::size(jobs);
    using Clock = std::chrono::steady_clock;
    auto since = [](Clock::time_point from) {
        return std::chrono::duration<double>(Clock::now() - from).count();
    };
    const std::vector<std::string> written{"doc.xml", "journal", "part.neu"};
    std::vector<double> own(n), took(n);
    for (size_t i = 0; i < n; ++i) {
        const std::string folder = dir.Path("open" + std::to_string(i));
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        const auto start = Clock::now();
        ASSERT_EQ(RunTranslator(folder, {}, jobs[i].args), 0) << jobs[i].name;
        own[i] = since(start);
        const std::string told = ReadAll(folder + "/stderr");
        EXPECT_GE(size_t(std::count(told.begin(), told.end(), '\n')), jobs[i].lines) << told;
    }
    std::vector<int> pipes(2 * n, -1), codes(n, -1);
    std::vector<std::thread> waiting;
    for (size_t i = 0; i < n; ++i) {
        const std::string folder = dir.Path("stuck" + std::to_string(i));
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        ASSERT_TRUE(stuckerr::MakeFullPipe(&pipes[2 * i], true));
        const auto start = Clock::now();
        const pid_t pid = StartTranslator(folder, {}, jobs[i].args, true, pipes[2 * i + 1]);
        ::close(pipes[2 * i + 1]);
        waiting.emplace_back([&, i, pid, start] {
            codes[i] = Finished(pid);
            took[i] = since(start);
        });
    }
    for (std::thread& t : waiting)
        t.join();
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(jobs[i].name);
        ::close(pipes[2 * i]);
        EXPECT_LT(took[i], 10 + 2 * own[i] + 4) << "its own time " << own[i] << " s";
        EXPECT_EQ(codes[i], 0);
        if (codes[i] != 0)
            continue;
        const std::string stuck = dir.Path("stuck" + std::to_string(i));
        EXPECT_EQ(filetargets::NamesIn(stuck), written);
        for (const std::string& name : written)
            EXPECT_EQ(ReadAll(stuck + "/" + name),
                      ReadAll(dir.Path("open" + std::to_string(i)) + "/" + name))
                << name;
    }
}

TEST(StandardDescriptors, AFirstCallThatTellsHoldsNoOtherThreadUp) {
    // The first session's set-up and the run mode's read, each telling a
    // line on a full blocking pipe whose reader takes nothing: the same
    // call on another thread returns within a second.
    ScratchDir dir;
    ASSERT_TRUE(dir.Made());
    for (const char* call : {"session", "run-mode"}) {
        int p[2];
        ASSERT_TRUE(stuckerr::MakeFullPipe(p, false));
        EXPECT_EQ(RunTranslator(dir.Folder(), {}, {"first-call", call}, false, p[1]), 0)
            << call << ": 1, it did not; 2, the first call never waited on standard error";
        ::close(p[0]);
        ::close(p[1]);
    }
}

// The host's answer to request 103: it fetches the part named from the
// translator's callback server into `parts` and answers feature 42.
std::string TakeHandOver(const std::string& request, std::mutex& lock,
                         std::vector<std::string>& parts) {
    if (request.rfind("103\n", 0) != 0)
        return "0";
    std::string path = request;
    for (int field = 0; field < 3; ++field)
        path.erase(0, path.find('\n') + 1);
    path = path.substr(0, path.find('\n'));
    std::string host, inner, data;
    int port = 0;
    bnfsError error;
    if (!ZrSplitBnfsPath(path.c_str(), host, port, inner, nullptr))
        return "-1\nnot a bnfs path";
    BNFSConnection* c = BNFSConnection::Open(error, host.c_str(), port);
    if (c)
        c->SetTimeout(30);
    const bool read = c && BNFSConnection::ReadFile(c, inner.c_str(), data, error);
    BNFSConnection::Close(c);
    if (!read)
        return "-1\n" + error.message;
    std::lock_guard<std::mutex> hold(lock);
    parts.push_back(data);
    return "0\n42";
}

TEST(StandardDescriptors,
     ATranslatorStartedWithStandardErrorClosedHandsOverWhatItHandsOverWithItOpen) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Made());
    const std::string document = dir.Path("in.xml");
    WriteTellingDocument(document);
    zr_test::FakeHost host;
    ASSERT_TRUE(host.Ok());
    std::mutex lock;
    std::vector<std::string> parts;
    host.AnswerWith([&](const std::string& request) { return TakeHandOver(request, lock, parts); });
    for (const Fds& closed : {Fds{}, Fds{2}, Fds{0, 1, 2}}) {
        SCOPED_TRACE(Closed(closed));
        const std::string folder = dir.Path("run" + std::to_string(closed.size()));
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        EXPECT_EQ(RunTranslator(folder, closed, {"hand-over", document, host.Url()}), 0);
        if (closed.empty()) {
            const std::string told = ReadAll(folder + "/stderr");
            EXPECT_NE(told.find("ZrWriteNeutralFile: layer \"EMPTY\" has no items"),
                      std::string::npos)
                << told;
        }
    }
    std::lock_guard<std::mutex> hold(lock);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].rfind("NEUTRAL", 0), 0u);
    EXPECT_EQ(parts[1], parts[0]);
    EXPECT_EQ(parts[2], parts[0]);
}

} // namespace
