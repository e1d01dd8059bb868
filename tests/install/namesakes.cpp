// Classes of a translator that bear the names of internal classes of the
// libraries, each with a virtual table and type information of its own, as
// a program that also links another library using these names has them;
// functions named like each that libzpi50 once called of libzbase50 under
// a name any program may define (function_namesakes.txt); and functions
// named like each public function of libzbase50 that libzpi50 takes
// (public_namesakes.sh, at the install stage), as a translator's own
// `long getmem(void)` or `ThrowInvalidArg` that throws something else
// would be: one function a name, generated into function_namesakes.inc,
// whatever its C++ signature (the linker knows the symbol only). Linked
// into the translator of examples/consumer: its jobs must run as they do
// without them. The libraries reach none of them: an operation called on an object
// that is not one of this program's own says so ("the library called slot
// 8 of the translator's own unimemlocation"), and so does each function
// ("the library called the translator's own uni_open"), and ends the
// program.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

namespace {

bool IsOwn(const void* object);

[[noreturn]] void Foreign(const char* name, int slot) {
    std::fprintf(stderr, "the library called slot %d of the translator's own %s\n", slot, name);
    std::fflush(stderr);
    std::_Exit(3);
}

[[noreturn]] void Called(const char* symbol) {
    std::fflush(stdout);
    std::fprintf(stderr, "the library called the translator's own %s\n", symbol);
    std::fflush(stderr);
    std::_Exit(3);
}

} // namespace

// A function of the program's own under the linker's name `symbol`.
#define NAMESAKE_FUNCTION(n, symbol)                                                                \
    extern "C" void namesake_function_##n() __asm__(symbol);                                        \
    extern "C" void namesake_function_##n() { Called(symbol); }
#include "function_namesakes.inc"

// Slot n + 1 of the virtual table (after the destructor's two) answers n.
#define NAMESAKE_OP(name, n)                                                                        \
    virtual long Op##n(long, long, long) {                                                         \
        if (!IsOwn(this))                                                                           \
            Foreign(#name, n + 1);                                                                  \
        return n;                                                                                   \
    }
#define NAMESAKE_OPS(name, a, b, c, d)                                                             \
    NAMESAKE_OP(name, a) NAMESAKE_OP(name, b) NAMESAKE_OP(name, c) NAMESAKE_OP(name, d)
// The destructor, defined out of line, is the key function: the class's
// virtual table and type information are defined here, as a library's are.
#define NAMESAKE(name)                                                                              \
    class name {                                                                                    \
    public:                                                                                         \
        virtual ~name();                                                                            \
        NAMESAKE_OPS(name, 1, 2, 3, 4)                                                              \
        NAMESAKE_OPS(name, 5, 6, 7, 8)                                                              \
        NAMESAKE_OPS(name, 9, 10, 11, 12)                                                           \
        NAMESAKE_OPS(name, 13, 14, 15, 16)                                                          \
        NAMESAKE_OPS(name, 17, 18, 19, 20)                                                          \
        NAMESAKE_OPS(name, 21, 22, 23, 24)                                                          \
    };                                                                                              \
    name::~name() {                                                                                 \
        if (!IsOwn(this))                                                                           \
            Foreign(#name, 0);                                                                      \
    }

// Of the base library: locations, threads, the bnfs connection, servers and
// sessions, files and strings.
NAMESAKE(unilocation)
NAMESAKE(unimemlocation)
NAMESAKE(univfslocation)
NAMESAKE(thrThread)
NAMESAKE(thrCondition)
NAMESAKE(BNFSConnection)
NAMESAKE(btkNetBaseServer)
NAMESAKE(btkMultiSessionServer)
NAMESAKE(bnfsServer)
NAMESAKE(bnfsSession)
NAMESAKE(kkAtomicFile)
NAMESAKE(btkString)
// Of zpi50: the client's callback server, its thread and sessions, the job
// condition.
NAMESAKE(ZrCallbackServer)
NAMESAKE(ZrServerThread)
NAMESAKE(ZrCallbackSession)
NAMESAKE(ZrJobCondition)

namespace {

struct Namesakes {
    unilocation location;
    unimemlocation memory;
    univfslocation vfs;
    thrThread thread;
    thrCondition condition;
    BNFSConnection connection;
    btkNetBaseServer netServer;
    btkMultiSessionServer multiServer;
    bnfsServer server;
    bnfsSession session;
    kkAtomicFile file;
    btkString string;
    ZrCallbackServer callbackServer;
    ZrServerThread serverThread;
    ZrCallbackSession callbackSession;
    ZrJobCondition jobCondition;
} namesakes;

bool IsOwn(const void* object) {
    const auto at = reinterpret_cast<uintptr_t>(object);
    const auto begin = reinterpret_cast<uintptr_t>(&namesakes);
    return at >= begin && at < begin + sizeof namesakes;
}

// The program's own calls reach its own operations (through the virtual
// table), and its type information is its own: typeid, a thrown pointer
// caught by its type. False, with a line, when one does not (the program
// then ends before it connects).
template <class T> bool Answers(T& object, const char* name) {
    T* volatile through = &object;
    bool caught = false;
    try {
        throw static_cast<T*>(through);
    } catch (T* pointer) {
        caught = pointer == &object;
    }
    const bool ok = through->Op1(0, 0, 0) == 1 && through->Op24(0, 0, 0) == 24 &&
                    typeid(*through) == typeid(T) && std::strstr(typeid(T).name(), name) && caught;
    if (!ok)
        std::printf("FAILED: the translator's own %s does not answer for itself\n", name);
    return ok;
}

const bool answered = [] {
    const bool all =
        Answers(namesakes.location, "unilocation") & Answers(namesakes.memory, "unimemlocation") &
        Answers(namesakes.vfs, "univfslocation") & Answers(namesakes.thread, "thrThread") &
        Answers(namesakes.condition, "thrCondition") & Answers(namesakes.connection, "BNFSConnection") &
        Answers(namesakes.netServer, "btkNetBaseServer") &
        Answers(namesakes.multiServer, "btkMultiSessionServer") & Answers(namesakes.server, "bnfsServer") &
        Answers(namesakes.session, "bnfsSession") & Answers(namesakes.file, "kkAtomicFile") &
        Answers(namesakes.string, "btkString") & Answers(namesakes.callbackServer, "ZrCallbackServer") &
        Answers(namesakes.serverThread, "ZrServerThread") &
        Answers(namesakes.callbackSession, "ZrCallbackSession") &
        Answers(namesakes.jobCondition, "ZrJobCondition");
    if (!all)
        std::_Exit(1);
    std::printf("ok: the translator's own 16 classes named like internal ones of the libraries "
                "answer for themselves\n");
    std::printf("ok: the translator defines %d functions named like those libzpi50 called of "
                "libzbase50 under ordinary names\n",
                kFunctionNamesakes);
    std::printf("ok: the translator defines %d functions named like the public ones libzpi50 takes "
                "from libzbase50, each meaning something else\n",
                kPublicNamesakes);
    return all;
}();

} // namespace
