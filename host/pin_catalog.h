// Host-side descriptions of module pins: names, directions, data types and
// default values. The library numbers its pins but does not name them, so the
// host keeps this catalog to let patches refer to pins by name.
//
// Each family of modules describes its pins in its own file under host/pins/
// and registers them with a static PinRegistrar; nothing central lists them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "framework/mp_api.h"

namespace zhost {

struct PinDesc {
    std::string name;
    int32_t direction = mp::PIN_DIR_IN;
    int32_t datatype = mp::PIN_TYPE_AUDIO;
    // Initial value of an input: the constant of an unconnected audio input,
    // the value of a float, int, enum or bool input (bool: non-zero is true).
    double defaultValue = 0.0;
    std::vector<float> defaultBlob;  // initial value of a blob input
};

struct ModuleDesc {
    std::string id;  // the library's identifier, e.g. "DC_Blocker"
    std::string summary;
    std::vector<PinDesc> pins;  // fixed pins, by index
    // Modules that create audio inputs in open() from the host's pin list:
    // the instance's pins are the fixed ones followed by N extra audio inputs
    // named <extraInputPrefix>1 .. <extraInputPrefix>N.
    bool variableInputs = false;
    std::string extraInputPrefix = "In";
    int32_t defaultExtraInputs = 0;
    bool hasGui = false;  // registered with subtype 2 as well
};

// Convenience constructors for the family files.
PinDesc audioIn(const std::string& name, double def = 0.0);
PinDesc audioOut(const std::string& name);
PinDesc floatIn(const std::string& name, double def = 0.0);
PinDesc intIn(const std::string& name, int32_t def = 0);
PinDesc enumIn(const std::string& name, int32_t def = 0);
PinDesc boolIn(const std::string& name, bool def = false);
PinDesc blobIn(const std::string& name, std::vector<float> def = {});
PinDesc floatOut(const std::string& name);
PinDesc intOut(const std::string& name);
PinDesc boolOut(const std::string& name);
PinDesc blobOut(const std::string& name);

class PinCatalog {
public:
    static PinCatalog& global();

    // The first description of an identifier wins; a second one is counted
    // in duplicates() so tests can catch it.
    void add(ModuleDesc desc);
    const ModuleDesc* find(const std::string& id) const;
    // An identifier equal to `id` ignoring case, or empty.
    std::string suggest(const std::string& id) const;
    std::vector<const ModuleDesc*> modules() const;  // sorted by identifier
    const std::vector<std::string>& duplicates() const { return duplicates_; }

private:
    std::map<std::string, ModuleDesc> modules_;
    std::vector<std::string> duplicates_;
};

struct PinRegistrar {
    PinRegistrar(std::initializer_list<ModuleDesc> descs);
};

// The pin list of one instance: the fixed pins, then `extraInputs` audio
// inputs for a module with variable inputs (ignored otherwise).
std::vector<PinDesc> instancePins(const ModuleDesc& desc, int32_t extraInputs);

// Finds a pin by name (ignoring case) or by decimal index; -1 if none.
int32_t findPin(const std::vector<PinDesc>& pins, const std::string& nameOrIndex);

const char* datatypeName(int32_t datatype);
const char* directionName(int32_t direction);

}  // namespace zhost
