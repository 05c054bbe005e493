#include "host/pin_catalog.h"

#include <algorithm>
#include <cctype>

namespace zhost {

namespace {

PinDesc make(const std::string& name, int32_t dir, int32_t type, double def = 0.0) {
    PinDesc p;
    p.name = name;
    p.direction = dir;
    p.datatype = type;
    p.defaultValue = def;
    return p;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

PinDesc audioIn(const std::string& name, double def) {
    return make(name, mp::PIN_DIR_IN, mp::PIN_TYPE_AUDIO, def);
}
PinDesc audioOut(const std::string& name) {
    return make(name, mp::PIN_DIR_OUT, mp::PIN_TYPE_AUDIO);
}
PinDesc floatIn(const std::string& name, double def) {
    return make(name, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT, def);
}
PinDesc intIn(const std::string& name, int32_t def) {
    return make(name, mp::PIN_DIR_IN, mp::PIN_TYPE_INT, def);
}
PinDesc enumIn(const std::string& name, int32_t def) {
    return make(name, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM, def);
}
PinDesc boolIn(const std::string& name, bool def) {
    return make(name, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL, def ? 1.0 : 0.0);
}
PinDesc blobIn(const std::string& name, std::vector<float> def) {
    PinDesc p = make(name, mp::PIN_DIR_IN, mp::PIN_TYPE_BLOB);
    p.defaultBlob = std::move(def);
    return p;
}
PinDesc floatOut(const std::string& name) {
    return make(name, mp::PIN_DIR_OUT, mp::PIN_TYPE_FLOAT);
}
PinDesc intOut(const std::string& name) {
    return make(name, mp::PIN_DIR_OUT, mp::PIN_TYPE_INT);
}
PinDesc boolOut(const std::string& name) {
    return make(name, mp::PIN_DIR_OUT, mp::PIN_TYPE_BOOL);
}
PinDesc blobOut(const std::string& name) {
    return make(name, mp::PIN_DIR_OUT, mp::PIN_TYPE_BLOB);
}

PinCatalog& PinCatalog::global() {
    static PinCatalog catalog;
    return catalog;
}

void PinCatalog::add(ModuleDesc desc) {
    if (modules_.count(desc.id) != 0) {
        duplicates_.push_back(desc.id);
        return;
    }
    std::string id = desc.id;
    modules_.emplace(std::move(id), std::move(desc));
}

const ModuleDesc* PinCatalog::find(const std::string& id) const {
    auto it = modules_.find(id);
    return it == modules_.end() ? nullptr : &it->second;
}

std::string PinCatalog::suggest(const std::string& id) const {
    const std::string want = lower(id);
    for (const auto& [key, desc] : modules_) {
        if (lower(key) == want) return key;
    }
    return {};
}

std::vector<const ModuleDesc*> PinCatalog::modules() const {
    std::vector<const ModuleDesc*> out;
    out.reserve(modules_.size());
    for (const auto& [key, desc] : modules_) out.push_back(&desc);
    return out;
}

PinRegistrar::PinRegistrar(std::initializer_list<ModuleDesc> descs) {
    for (const ModuleDesc& d : descs) PinCatalog::global().add(d);
}

std::vector<PinDesc> instancePins(const ModuleDesc& desc, int32_t extraInputs) {
    std::vector<PinDesc> pins = desc.pins;
    if (desc.variableInputs) {
        for (int32_t k = 0; k < extraInputs; ++k) {
            pins.push_back(audioIn(desc.extraInputPrefix + std::to_string(k + 1)));
        }
    }
    return pins;
}

int32_t findPin(const std::vector<PinDesc>& pins, const std::string& nameOrIndex) {
    if (nameOrIndex.empty()) return -1;
    const std::string want = lower(nameOrIndex);
    for (size_t i = 0; i < pins.size(); ++i) {
        if (lower(pins[i].name) == want) return static_cast<int32_t>(i);
    }
    if (std::all_of(nameOrIndex.begin(), nameOrIndex.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }) &&
        nameOrIndex.size() < 9) {
        const long idx = std::stol(nameOrIndex);
        if (idx >= 0 && static_cast<size_t>(idx) < pins.size()) return static_cast<int32_t>(idx);
    }
    return -1;
}

const char* datatypeName(int32_t datatype) {
    switch (datatype) {
        case mp::PIN_TYPE_ENUM:
            return "enum";
        case mp::PIN_TYPE_STRING:
            return "string";
        case mp::PIN_TYPE_MIDI:
            return "midi";
        case mp::PIN_TYPE_BOOL:
            return "bool";
        case mp::PIN_TYPE_AUDIO:
            return "audio";
        case mp::PIN_TYPE_FLOAT:
            return "float";
        case mp::PIN_TYPE_INT:
            return "int";
        case mp::PIN_TYPE_BLOB:
            return "blob";
        default:
            return "?";
    }
}

const char* directionName(int32_t direction) {
    return direction == mp::PIN_DIR_OUT ? "out" : "in";
}

}  // namespace zhost
