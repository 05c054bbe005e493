// Blob values of any size and content: on every blob input of the DSP
// halves (kernels, frames) and on the GUI halves' blob pins and messages
// (point frames, plotter columns), with renders in between.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/gui_host.h"
#include "host/pin_catalog.h"

namespace {

std::vector<const zhost::ModuleDesc*> blobModules() {
    std::vector<const zhost::ModuleDesc*> out;
    for (const zhost::ModuleDesc* d : zhost::PinCatalog::global().modules()) {
        bool blob = d->hasGui;
        for (const auto& p : d->pins)
            if (p.datatype == mp::PIN_TYPE_BLOB && p.direction == mp::PIN_DIR_IN) blob = true;
        if (blob) out.push_back(d);
    }
    return out;
}

void dsp(const zhost::ModuleDesc& desc, FuzzedDataProvider& in) {
    const auto pins = zhost::instancePins(desc, desc.variableInputs ? 2 : 0);
    std::vector<zhost::PinInfo> infos;
    for (const auto& p : pins) infos.push_back(zhost::PinInfo{p.direction, p.datatype});
    const int32_t block = 64;
    std::string err;
    auto inst = zhost::Instance::create(zfuzz::library(), desc.id, zfuzz::tables(), infos,
                                        zfuzz::rateOf(in.ConsumeIntegral<uint8_t>()), block, &err);
    if (!inst) return;
    inst->open();
    std::vector<std::vector<float>> buffers(pins.size());
    for (size_t p = 0; p < pins.size(); ++p) {
        if (pins[p].datatype != mp::PIN_TYPE_AUDIO) continue;
        buffers[p].assign(block, 0.25f);
        inst->bindBuffer(static_cast<int32_t>(p), buffers[p].data());
    }
    zhost::EventList list(64, 1 << 18);
    for (int b = 0; b < 8 && in.remaining_bytes() > 0; ++b) {
        list.clear();
        if (b == 0) {
            for (size_t p = 0; p < pins.size(); ++p)
                if (pins[p].datatype == mp::PIN_TYPE_AUDIO && pins[p].direction == mp::PIN_DIR_IN)
                    list.addStreaming(0, static_cast<int32_t>(p), true);
            list.addGraphStart(0);
        }
        for (size_t p = 0; p < pins.size(); ++p) {
            if (pins[p].datatype != mp::PIN_TYPE_BLOB || pins[p].direction != mp::PIN_DIR_IN)
                continue;
            if (!in.ConsumeBool()) continue;
            const size_t len = in.ConsumeIntegralInRange<size_t>(0, 8200);
            const auto bytes = in.ConsumeBytes<unsigned char>(len);
            list.add(in.ConsumeIntegralInRange<int32_t>(0, block - 1), mp::EVENT_PIN_SET,
                     static_cast<int32_t>(p), bytes.empty() ? nullptr : bytes.data(),
                     static_cast<int32_t>(bytes.size()));
        }
        // Times must be ordered: keep only the events' order as added by
        // putting them all at one time stamp when there are several.
        const mp::MpEvent* head = list.head();
        for (auto* e = const_cast<mp::MpEvent*>(head); e != nullptr; e = e->next)
            if (b > 0) e->timeDelta = 0;
        inst->process(block, head);
    }
}

void gui(const zhost::ModuleDesc& desc, FuzzedDataProvider& in) {
    std::string err;
    auto view = zhost::GuiView::create(
        zfuzz::library(), desc.id, static_cast<float>(in.ConsumeIntegralInRange<int>(1, 300)),
        static_cast<float>(in.ConsumeIntegralInRange<int>(1, 200)), &err);
    if (!view) return;
    const int32_t npins = view->desc() ? static_cast<int32_t>(view->desc()->pins.size()) : 4;
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
            case 0: {
                const int32_t pin = in.ConsumeIntegralInRange<int32_t>(0, npins - 1);
                const auto bytes =
                    in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange<size_t>(0, 8200));
                view->setPin(pin, bytes.empty() ? nullptr : bytes.data(),
                             static_cast<int32_t>(bytes.size()));
                break;
            }
            case 1: {
                const auto bytes =
                    in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange<size_t>(0, 16));
                view->deliverMessage(in.ConsumeIntegralInRange<int32_t>(-1, 2),
                                     static_cast<int32_t>(bytes.size()),
                                     bytes.empty() ? nullptr : bytes.data());
                break;
            }
            case 2:
                view->layout(0.0f, 0.0f, in.ConsumeFloatingPointInRange<float>(-10.0f, 400.0f),
                             in.ConsumeFloatingPointInRange<float>(-10.0f, 300.0f));
                break;
            default:
                view->render();
                break;
        }
    }
    view->render();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto modules = blobModules();
    if (modules.empty()) return 0;
    FuzzedDataProvider in(data, size);
    const zhost::ModuleDesc& desc =
        *modules[in.ConsumeIntegralInRange<size_t>(0, modules.size() - 1)];
    if (desc.hasGui && in.ConsumeBool()) {
        gui(desc, in);
    } else {
        dsp(desc, in);
    }
    return 0;
}
