#pragma once

#include <cstdlib>

// A broken promise is a finding: abort, so that libFuzzer keeps the input.
inline void require(bool condition) {
    if (!condition)
        std::abort();
}
