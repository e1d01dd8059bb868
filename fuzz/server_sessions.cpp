// The server sessions of the host connection: a plain bnfs session over an
// in-memory location and a callback-server session, fed the input in small
// chunks as bytes arrive on a connection; each chunk is served at once and
// the answers are taken away. What the frames wrote is removed again and
// the pending job dropped, so each input starts from the same state.
#include "fuzz_support.h"

#include "net.h"
#include "uniloc.h"
#include "client/zr_callback.h"
#include "client/zr_jobs.h"

#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

struct Servers {
    Servers() : plainFiles("fuzzmem") {
        plainFiles.MakeDirectory("/ZPI", 0, nullptr);
        plain.SetLocationDriver(&plainFiles);
        callback.Mount();
    }
    unimemlocation plainFiles;
    bnfsServer plain;
    ZrCallbackServer callback;
};

Servers& TheServers() {
    static Servers* servers = new Servers; // kept for the whole run
    return *servers;
}

void Drain(int fd) {
    char buffer[4096];
    while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}

void RemoveFiles(unimemlocation& location) {
    for (const std::string& path : location.ListFiles())
        if (path.rfind("/ZPI/", 0) == 0)
            location.RemoveFile(path.c_str(), nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Servers& servers = TheServers();
    FuzzedDataProvider in(data, size);
    const bool callback = in.ConsumeBool();
    const std::vector<std::string> chunks = zpifuzz::Chunks(in);

    int fd[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd) != 0)
        __builtin_trap();
    auto* stream = new btkSocketStream(fd[0]);
    std::unique_ptr<bnfsSession> session(
        callback ? static_cast<bnfsSession*>(new ZrCallbackSession(stream, &servers.callback))
                 : new bnfsSession(stream, &servers.plain, 1));
    bool alive = true;
    for (const std::string& chunk : chunks) {
        if (::send(fd[1], chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0)
            break;
        alive = session->ServeAvailable();
        Drain(fd[1]);
        if (!alive)
            break;
    }
    if (alive) {
        // The peer is gone: once its answers are out the session must end.
        ::shutdown(fd[1], SHUT_WR);
        int rounds = 0;
        while (session->ServeAvailable()) {
            Drain(fd[1]);
            if (++rounds == 1000)
                __builtin_trap();
        }
        Drain(fd[1]);
    }
    session.reset();
    ::close(fd[1]);

    RemoveFiles(servers.plainFiles);
    RemoveFiles(*unimemlocation::GetRegistered());
    ZrResetJobLoop();
    ZrSetImportFormat(0);
    return 0;
}
