// Patch files: any text through the parser; what parses is built into a
// graph and run for a few blocks.
#include <string>

#include "fuzz/fuzz_support.h"
#include "host/patch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Sound and kernel files are read while parsing; device files could block.
    for (const char* dir : {"/dev", "/proc", "/sys"})
        if (text.find(dir) != std::string::npos) return 0;
    zhost::Patch patch;
    std::string err;
    if (!zhost::parsePatch(text, "fuzz.json", "/nonexistent", &patch, &err)) return 0;
    if (patch.instances.size() > 16 || patch.blockSize > 4096) return 0;
    auto graph = zhost::buildGraph(patch, zfuzz::library(), &err);
    if (!graph) return 0;
    for (int b = 0; b < 4; ++b) graph->runBlock(graph->blockSize());
    return 0;
}
