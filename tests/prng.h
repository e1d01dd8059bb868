// The tests' pseudo-random numbers: splitmix64, small, fast and the same
// on every machine, so a failing case comes back from its starting value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace testprng {

class Prng {
public:
    explicit Prng(uint64_t start) : state_(start) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1 (n > 0).
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
    // n bytes of any value.
    std::string Bytes(size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s += static_cast<char>(Below(256));
        return s;
    }
    // n characters drawn from `alphabet` (not empty).
    std::string Text(size_t n, std::string_view alphabet) {
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s += alphabet[Below(alphabet.size())];
        return s;
    }

private:
    uint64_t state_;
};

} // namespace testprng
