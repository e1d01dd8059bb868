// A translator as a test starts one, linked to zpi50 as a translator is,
// for what the library does in a process started with standard
// descriptors closed. It works in its current folder:
//
//     zpi_test_translator save <document> [<reads> [<every>]]
//
// reads <document> (<reads> times, each telling what its reader tells),
// writes it as "doc.xml" and saves it as a neutral part "part.neu" through
// the README's file stream; exits 0 when every step succeeded (1: not
// read, 2: not written, 3: not saved). With <every>, a timer signal with
// SA_RESTART (as a watchdog or a profiler installs one) comes every
// <every> milliseconds meanwhile.
//
//     zpi_test_translator hand-over <document> <host URL>
//
// connects to the host, then reads <document> and hands it over as an
// import feature (request 103, the neutral part); exits with the request's
// status (0 when the host took it and answered feature 42, 4 when it
// answered another).
//
//     zpi_test_translator standard
//
// exits with bit n set for each descriptor n of 0, 1 and 2 that is not the
// null device.
//
//     zpi_test_translator first-call session|run-mode
//
// makes the process's first call of KGetPISession (ZORVAN_JOURNAL_FILE
// naming a folder, which is told) or of get_run_mode (ZORVAN_RUN_MODE no
// number, which is told) on a thread, and once that thread waits on
// standard error (a full blocking pipe, which the test gives it), the same
// call on another: exits 0 when that returned within a second (1: it did
// not, 2: the first never waited on standard error).
#include "zpi50.h"

#include "examples/file_stream.h"
#include "tests/stuck_standard_error.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

namespace {

int Save(const xrchandle<KWPIModel>& model) {
    try {
        model->WriteZPI("doc.xml");
    } catch (const xthrown&) {
        return 2;
    }
    xrchandle<FileStream> part(new FileStream("part.neu"));
    try {
        model->SaveAsNeutral(part);
    } catch (const xthrown&) {
        return 3;
    }
    return part->Commit() ? 0 : 3;
}

int HandOver(const char* document, const char* url) {
    xrchandle<ZorvanProxy> host = ZrInitializeClient(url);
    if (!host)
        return 100;
    xrchandle<KWPIModel> model = KGetPISession()->ReadZPI(document);
    if (!model)
        return 1;
    int feature = 0;
    const int status = host->ImportQelIntfDataToFeature(1, nullptr, model, nullptr, &feature);
    return status != 0 ? status & 0xff : feature == 42 ? 0 : 4;
}

int FirstCall(const std::string& call) {
    using namespace std::chrono_literals;
    const bool session = call == "session";
    if (!session && call != "run-mode")
        return 64;
    ::setenv(session ? "ZORVAN_JOURNAL_FILE" : "ZORVAN_RUN_MODE", session ? "." : "verbose", 1);
    const std::function<void()> make = [session] {
        if (session)
            KGetPISession();
        else
            get_run_mode();
    };
    std::atomic<pid_t> first{0};
    std::thread([&] {
        first = ::gettid();
        make();
    }).detach();
    while (first == 0)
        std::this_thread::yield();
    if (!stuckerr::WaitsOnStandardError(first, 30s))
        return 2;
    return stuckerr::ReturnsWithin(make, 1s) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && argc <= 5 && std::strcmp(argv[1], "save") == 0) {
        if (argc == 5 && !stuckerr::StartTicking(std::atol(argv[4])))
            return 5;
        xrchandle<KWPIModel> model;
        for (int reads = argc >= 4 ? std::atoi(argv[3]) : 1; reads > 0; --reads)
            model = KGetPISession()->ReadZPI(argv[2]);
        return model ? Save(model) : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "first-call") == 0)
        std::_Exit(FirstCall(argv[2])); // the first thread waits on for ever
    if (argc == 4 && std::strcmp(argv[1], "hand-over") == 0)
        return HandOver(argv[2], argv[3]);
    if (argc == 2 && std::strcmp(argv[1], "standard") == 0) {
        struct stat null;
        if (::stat("/dev/null", &null) != 0)
            return 8;
        int bits = 0;
        for (int fd = 0; fd <= 2; ++fd) {
            struct stat st;
            if (::fstat(fd, &st) != 0 || st.st_rdev != null.st_rdev || !S_ISCHR(st.st_mode))
                bits |= 1 << fd;
        }
        return bits;
    }
    return 64;
}
