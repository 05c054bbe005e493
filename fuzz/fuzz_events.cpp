// Any event list a host could send, driven into any catalogued module: the
// input picks the module, the rate, the block lengths, the samples of the
// audio inputs and every event (time stamp, type, pin, size, bytes). Time
// stamps are kept ordered and within the block, as the binary contract asks.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/pin_catalog.h"

namespace {

struct Ev {
    int32_t time, type, pin;
    std::vector<unsigned char> bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const auto modules = zhost::PinCatalog::global().modules();
    if (modules.empty()) return 0;
    const zhost::ModuleDesc& desc =
        *modules[in.ConsumeIntegralInRange<size_t>(0, modules.size() - 1)];
    const int32_t extra = desc.variableInputs ? in.ConsumeIntegralInRange<int32_t>(0, 8) : 0;
    const auto pins = zhost::instancePins(desc, extra);
    const float rate = zfuzz::rateOf(in.ConsumeIntegral<uint8_t>());
    const int32_t block = in.ConsumeIntegralInRange<int32_t>(1, 512);

    std::vector<zhost::PinInfo> infos;
    for (const auto& p : pins) infos.push_back(zhost::PinInfo{p.direction, p.datatype});
    std::string err;
    auto inst = zhost::Instance::create(zfuzz::library(), desc.id, zfuzz::tables(), infos, rate,
                                        block, &err);
    if (!inst) return 0;
    inst->open();
    std::vector<std::vector<float>> buffers(pins.size());
    for (size_t p = 0; p < pins.size(); ++p) {
        if (pins[p].datatype != mp::PIN_TYPE_AUDIO) continue;
        buffers[p].assign(static_cast<size_t>(block), 0.0f);
        inst->bindBuffer(static_cast<int32_t>(p), buffers[p].data());
    }
    const int32_t np = static_cast<int32_t>(pins.size());
    zhost::EventList list(256, 1 << 16);
    const int blocks = in.ConsumeIntegralInRange<int>(1, 6);
    for (int b = 0; b < blocks && in.remaining_bytes() > 0; ++b) {
        const int32_t n = in.ConsumeIntegralInRange<int32_t>(0, block);
        for (size_t p = 0; p < pins.size(); ++p) {
            if (pins[p].datatype != mp::PIN_TYPE_AUDIO || pins[p].direction != mp::PIN_DIR_IN)
                continue;
            // Either one constant or raw sample bits (NaN, inf, denormals included).
            if (in.ConsumeBool()) {
                std::fill(buffers[p].begin(), buffers[p].end(), in.ConsumeFloatingPoint<float>());
            } else {
                for (int32_t i = 0; i < n; ++i) {
                    const uint32_t bits = in.ConsumeIntegral<uint32_t>();
                    std::memcpy(&buffers[p][static_cast<size_t>(i)], &bits, 4);
                }
            }
        }
        std::vector<Ev> evs;
        if (b == 0) evs.push_back(Ev{0, mp::EVENT_GRAPH_START, -1, {}});
        const int count = in.ConsumeIntegralInRange<int>(0, 24);
        for (int k = 0; k < count; ++k) {
            Ev e;
            e.time = in.ConsumeIntegralInRange<int32_t>(0, n);
            static const int32_t types[] = {mp::EVENT_PIN_SET,
                                            mp::EVENT_PIN_SET,
                                            mp::EVENT_PIN_STREAMING_START,
                                            mp::EVENT_PIN_STREAMING_STOP,
                                            mp::EVENT_MIDI,
                                            mp::EVENT_GRAPH_START,
                                            0};
            e.type = types[in.ConsumeIntegralInRange<int>(0, 6)];
            e.pin = in.ConsumeIntegralInRange<int32_t>(-1, np);
            const size_t len = in.ConsumeIntegralInRange<size_t>(0, 16);
            e.bytes = in.ConsumeBytes<unsigned char>(len);
            evs.push_back(std::move(e));
        }
        std::stable_sort(evs.begin(), evs.end(),
                         [](const Ev& a, const Ev& c) { return a.time < c.time; });
        list.clear();
        for (const Ev& e : evs) {
            list.add(e.time, e.type, e.pin, e.bytes.empty() ? nullptr : e.bytes.data(),
                     static_cast<int32_t>(e.bytes.size()));
        }
        inst->process(n, list.head());
    }
    return 0;
}
