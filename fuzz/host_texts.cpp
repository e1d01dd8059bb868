// The texts the host sends: a reply with every field reader, a callback
// request, a job text and its argument vector (with the counts a peer may
// claim), the parts of a record text, and a session stream item.
#include "fuzz_support.h"

#include "client/zr_strings.h"
#include "client/zr_framing.h"
#include "client/zr_requests_internal.h"

#include <climits>
#include <cstring>
#include <sstream>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int pick = in.ConsumeIntegral<int8_t>();
    const int claim = in.ConsumeIntegral<int>();
    const std::string raw = in.ConsumeRemainingBytesAsString();
    const std::string text(raw.c_str()); // as the C text the parsers take
    const char* t = text.c_str();

    ZrReply reply;
    reply.Parse(t);
    (void)reply.GetStatus();
    (void)reply.GetWholeAsInt();
    const int fields = reply.GetFieldCount();
    Check(fields >= 0);
    for (int f : {-1, 0, 1, 2, fields - 1, fields, INT_MAX, INT_MIN, pick}) {
        Check(reply.GetField(f) != nullptr);
        (void)reply.GetInt(f, 3);
        (void)reply.GetDouble(f, 0.5);
        const int n = reply.GetListCount(f);
        Check(n >= 0);
        Check(reply.GetIntList(f).size() == size_t(n));
        Check(reply.GetDoubleList(f).size() == size_t(n));
        for (int k : {-1, 0, n - 1, n, INT_MAX, pick})
            (void)reply.GetListItem(f, k);
        char buffer[16];
        (void)zr_detail::CopyField(reply, f, buffer, sizeof buffer);
        (void)zr_detail::CopyField(reply, f, buffer, 0);
    }
    ZrReplyIsModelUsed used;
    used.Parse(t);
    (void)used.GetStatus();

    ZrCallbackRequest request(t);
    Check(request.GetArgs() != nullptr);

    ZrJobRequest job(t);
    Check(job.GetPath() != nullptr && job.GetArgs() != nullptr);
    size_t lines = 1;
    for (const char* c = job.GetArgs(); *c; ++c)
        lines += *c == '\n';
    for (int argc : {job.GetArgCount(), claim, -1, 0, INT_MAX, INT_MIN}) {
        ZrArgv argv(argc, job.GetArgs());
        Check(argv.GetArgc() >= 0 && size_t(argv.GetArgc()) <= lines);
        Check(argv.GetArgv()[argv.GetArgc()] == nullptr);
        for (int k = 0; k < argv.GetArgc(); ++k)
            Check(argv.GetArgv()[k] != nullptr);
    }

    const std::vector<btkString> parts = zr_detail::SplitParts(t);
    (void)zr_detail::PartAt(parts, size_t(pick) & 7);

    // A session item from the raw bytes (NULs included).
    std::istringstream item(raw);
    btkString value;
    if (ReadSessionText(item, value))
        Check(static_cast<size_t>(value.GetLength()) <= raw.size());
    else
        Check(value.IsEmpty());
    return 0;
}
