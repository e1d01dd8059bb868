// The framing reader of the host connection: every frame that the bytes
// hold is read (kind, length and payload checked), and the text item of
// each payload is taken apart. A frame written and read back is the same.
#include "fuzz_support.h"

#include "base/net.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
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
