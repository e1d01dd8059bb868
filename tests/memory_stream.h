// A caller's stream for the tests: keeps what is written to it, can be told
// to refuse every write, and counts its closes. Reading and seeking are not
// offered.
#pragma once

#include "kcommon.h"

#include <cstdint>
#include <string>

class MemoryStream : public KCStream {
public:
    explicit MemoryStream(bool refuseWrites = false) : refuse(refuseWrites) {}
    int Read(void*, int) override { return -1; }
    int Write(const void* buffer, int count) override {
        if (refuse || count < 0)
            return -1;
        data.append(static_cast<const char*>(buffer), size_t(count));
        return count;
    }
    int64_t GetPos() override { return int64_t(data.size()); }
    int SetPos(int64_t) override { return -1; }
    int Close() override {
        ++closed;
        return 0;
    }

    std::string data;
    bool refuse = false;
    int closed = 0;
};
