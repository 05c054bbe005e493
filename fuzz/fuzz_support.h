// Shared by the fuzz targets: the library under test, loaded once, and one
// store of shared tables for the whole run (tables are filled once per rate).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/host_core.h"

namespace zfuzz {

inline zhost::Library& library() {
    static std::unique_ptr<zhost::Library> lib = [] {
        const char* env = std::getenv("ZDSP_SEM");
        std::string err;
        auto l = zhost::Library::load(env ? env : ZDSP_DEFAULT_SEM, &err);
        if (!l) {
            std::fprintf(stderr, "%s\n", err.c_str());
            std::abort();
        }
        return l;
    }();
    return *lib;
}

inline zhost::SharedTableStore& tables() {
    static zhost::SharedTableStore store;
    return store;
}

// The few sample rates the targets use, so the shared tables stay few.
inline float rateOf(unsigned char b) {
    static const float rates[] = {8000.0f, 44100.0f, 48000.0f, 192000.0f};
    return rates[b % 4];
}

}  // namespace zfuzz
