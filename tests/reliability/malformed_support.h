// Damaged variants of a valid input, and a run of a reader that records whether it loaded, the
// text it raised, and the largest single allocation it made (malformed_support.cpp replaces the
// global operator new of the test binary to measure it).
#pragma once

#include "platform/error.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace malformed {

// No reader may ask for more than this at once, whatever a size field says.
constexpr size_t kAllocationCap = 64u << 20;

using Bytes = std::vector<uint8_t>;

struct Outcome {
    bool loaded = false;
    std::string error;  // the reader's text when it refused
    size_t largest = 0; // the largest single allocation, in bytes
};

void StartTracking();
size_t StopTracking();

inline Outcome Attempt(const std::function<void()>& load) {
    Outcome outcome;
    StartTracking();
    try {
        load();
        outcome.loaded = true;
    } catch (const platform::CError& error) {
        outcome.error = error.what();
    }
    outcome.largest = StopTracking();
    return outcome;
}

// Every cut of the input (lengths 0 .. size - 1), then each size field set in turn to 0, an odd
// value, 0x7FFFFFFF, one past what follows it, and -1. Each variant is named for the messages.
inline std::vector<std::pair<std::string, Bytes>> Variants(const Bytes& valid,
                                                           const std::vector<size_t>& sizeFields) {
    std::vector<std::pair<std::string, Bytes>> variants;
    for (size_t cut = 0; cut < valid.size(); ++cut)
        variants.emplace_back("cut at " + std::to_string(cut),
                              Bytes(valid.begin(), valid.begin() + static_cast<long>(cut)));
    for (size_t field : sizeFields) {
        const auto pastEnd = static_cast<uint32_t>(valid.size() - field + 1);
        for (uint32_t value : {0u, 3u, 0x7FFFFFFFu, pastEnd, 0xFFFFFFFFu}) {
            Bytes damaged = valid;
            std::memcpy(damaged.data() + field, &value, 4);
            variants.emplace_back("field at " + std::to_string(field) + " = " + std::to_string(value),
                                  damaged);
        }
    }
    return variants;
}

inline bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace malformed
