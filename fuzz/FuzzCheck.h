#pragma once
// A finding beyond what the sanitizers catch: a promise of the code under test
// that an input broke. Aborting makes libFuzzer keep that input as a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace gm::fuzz {

inline void expect(bool kept, const char* promise) {
    if (kept) return;
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

inline std::string_view textOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace gm::fuzz
