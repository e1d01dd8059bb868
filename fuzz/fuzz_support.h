// Shared helpers of the fuzz harnesses: the project's own errors caught
// (anything else escapes and is reported by the fuzzer), a stream that
// keeps what is written, and the input cut into the small chunks in which
// bytes arrive on a connection.
#pragma once

#include "kcommon.h"
#include "xexcept.h"
#include "xml/framework/xml_element.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zpifuzz {

// Runs f(); the binding's and the object runtime's own errors end it
// quietly, every other exception leaves the harness.
template <class F> void OwnErrorsOnly(F&& f) {
    try {
        f();
    } catch (const IntfXmlError&) {
    } catch (const xthrown&) {
    }
}

// A caller's stream that keeps what is written (bounded, so a runaway
// writer shows as a failed write rather than exhausting memory).
class MemoryStream : public KCStream {
public:
    int Read(void*, int) override { return -1; }
    int Write(const void* buffer, int count) override {
        if (count < 0 || data.size() + size_t(count) > kLimit)
            return -1;
        data.append(static_cast<const char*>(buffer), size_t(count));
        return count;
    }
    int64_t GetPos() override { return int64_t(data.size()); }
    int SetPos(int64_t) override { return -1; }
    int Close() override { return 0; }

    static constexpr size_t kLimit = 64u << 20;
    std::string data;
};

// The rest of the input cut into chunks of 1 to 16 bytes, their lengths
// taken from the input itself.
inline std::vector<std::string> Chunks(FuzzedDataProvider& in) {
    const uint8_t pattern = in.ConsumeIntegral<uint8_t>();
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t i = 0; at < bytes.size(); ++i) {
        const size_t n = 1 + ((pattern >> (i % 8)) * 7 + i) % 16;
        out.push_back(bytes.substr(at, n));
        at += n;
    }
    return out;
}

} // namespace zpifuzz
