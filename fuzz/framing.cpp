// The framing readers of the host connection: every frame that the bytes
// hold is read by the frame reader (kind, length and payload checked) and
// the text item of each payload is taken apart; the client's connection
// takes the bytes as the answer of a request (a text request, the alive
// probe, a file read or write) from a server on the loopback address. A
// frame written and read back is the same.
#include "fuzz_support.h"

#include "net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

// Both ends of a connection on this machine.
struct Pair {
    Pair() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd) != 0)
            __builtin_trap();
    }
    int fd[2];
};

// As much of `bytes` as the connection takes without waiting.
void Send(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t k = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (k <= 0)
            return;
        done += size_t(k);
    }
}

// A listening socket on the loopback address, kept for the whole run.
int Listener(int& port) {
    static int fd = -1;
    static int bound = 0;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(fd, 4) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            __builtin_trap();
        bound = ntohs(a.sin_port);
    }
    port = bound;
    return fd;
}

// The client's side: `answer` is all the server sends before it closes.
void ClientTakes(uint8_t call, const std::string& answer) {
    int port = 0;
    const int listener = Listener(port);
    bnfsError error;
    BNFSConnection* c = BNFSConnection::Open(error, "127.0.0.1", port);
    if (!c)
        __builtin_trap();
    c->SetTimeout(5);
    const int server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (server < 0)
        __builtin_trap();
    Send(server, answer);
    ::shutdown(server, SHUT_WR);
    switch (call % 4) {
    case 0: {
        btkString reply;
        if (BNFSConnection::OtherRequest(c, "149\nx", reply, error))
            Check(static_cast<size_t>(reply.GetLength()) <= answer.size());
        break;
    }
    case 1: (void)BNFSConnection::IsAlive(c); break;
    case 2: {
        std::string file;
        if (BNFSConnection::ReadFile(c, "/ZPI/a.xml", file, error))
            Check(file.size() <= answer.size());
        break;
    }
    default: (void)BNFSConnection::WriteFile(c, "/ZPI/a.xml", "abc", 3, error); break;
    }
    BNFSConnection::Close(c);
    ::close(server);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (size > 0)
        ClientTakes(data[0], bytes.substr(1));
    {
        Pair p;
        btkSocketStream reader(p.fd[0]);
        Send(p.fd[1], bytes);
        ::close(p.fd[1]); // the peer is done: the reader meets the end
        bnfsFrame frame;
        bnfsError error;
        size_t consumed = 0;
        while (bnfsReadFrame(reader, frame, 0, 0, &error)) {
            consumed += 5 + frame.payload.size();
            Check(consumed <= size);
            std::string text;
            if (bnfsGetTextItem(frame.payload, text))
                Check(text.size() <= frame.payload.size());
            error.Clear();
        }
        Check(error.IsSet());
    }
    {
        // Round trip of the input as one payload.
        Pair p;
        btkSocketStream writer(p.fd[1]);
        btkSocketStream reader(p.fd[0]);
        bnfsError error;
        if (size <= 65536 && bnfsWriteFrame(writer, 'Q', bytes.data(), bytes.size(), &error)) {
            bnfsFrame frame;
            Check(bnfsReadFrame(reader, frame, 1, 1, &error));
            Check(frame.kind == 'Q' && frame.payload == bytes);
        }
        std::string item;
        bnfsPutTextItem(item, bytes.data(), bytes.size());
        std::string back;
        Check(bnfsGetTextItem(item, back) && back == bytes);
    }
    return 0;
}
