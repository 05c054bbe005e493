// The reference host's editor side: creates the GUI half of a module,
// offers it the GUI-host and graphics-host interfaces, delivers pin values
// and DSP messages, lays it out and renders its picture with Cairo.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/mp_gui_api.h"
#include "host/host_core.h"

namespace zhost {

// What the editor knows about a module's GUI half: its pins (name, data type,
// default) and which DSP output pins feed which GUI pins.
struct GuiPinDesc {
    std::string name;
    int32_t datatype = mp::PIN_TYPE_FLOAT;
    std::string defaultText;    // string pins
    double defaultValue = 0.0;  // float, int and bool pins
};

struct GuiModuleDesc {
    std::string id;
    std::vector<GuiPinDesc> pins;
    // (DSP output pin, GUI pin): values sent on the output are set on the GUI pin.
    std::vector<std::pair<int32_t, int32_t>> routes;
    float defaultWidth = 400.0f;
    float defaultHeight = 300.0f;
};

class GuiCatalog {
public:
    static GuiCatalog& global();
    void add(GuiModuleDesc desc);  // the first description of an identifier wins
    const GuiModuleDesc* find(const std::string& id) const;

private:
    std::vector<GuiModuleDesc> modules_;
};

struct GuiRegistrar {
    GuiRegistrar(std::initializer_list<GuiModuleDesc> descs);
};

// The encoded value of a GUI pin from its description, or from a text
// (string pins) / number (others).
std::vector<unsigned char> encodeGuiValue(int32_t datatype, const std::string& text, double v);

// One GUI instance shown in a view of width x height pixels.
class GuiView {
public:
    // Which host interfaces the view's host object offers (tests use partial hosts).
    struct Offer {
        bool guiHost = true;
        bool graphicsHost = true;
    };

    // Creates the GUI half of `id` (subtype 2), gives it the host, initialises
    // it, delivers the catalog's default pin values (when the module is in
    // the GUI catalog), measures and arranges it at (0, 0, width, height).
    static std::unique_ptr<GuiView> create(const Library& lib, const std::string& id, float width,
                                           float height, std::string* error);
    // The same without any of the host steps after creation.
    static std::unique_ptr<GuiView> createBare(const Library& lib, const std::string& id,
                                               Offer offer, std::string* error);
    ~GuiView();
    GuiView(const GuiView&) = delete;
    GuiView& operator=(const GuiView&) = delete;

    mp::IMpUserInterface2* gui() const { return gui_; }
    mp_gui_api::IMpGraphics2* graphics() const { return graphics_; }  // null if not offered
    mp::IMpUnknown* hostObject();
    const GuiModuleDesc* desc() const { return desc_; }

    int32_t setHost();  // hands the host object to the instance
    // set pin, then pin updated, as an editor delivers a value.
    int32_t setPin(int32_t pin, const void* data, int32_t size);
    int32_t setPin(int32_t pin, const std::vector<unsigned char>& bytes) {
        return setPin(pin, bytes.data(), static_cast<int32_t>(bytes.size()));
    }
    int32_t setPinText(int32_t pin, const std::u16string& text);
    int32_t setPinFloat(int32_t pin, float v) { return setPin(pin, &v, 4); }
    // A value from the DSP half's output pin, routed by the catalog; false if
    // no route takes it.
    bool deliverOutput(int32_t dspPin, const void* data, int32_t size);
    // A message posted by the DSP half.
    int32_t deliverMessage(int32_t id, int32_t size, const void* data);

    // measure and arrange at (left, top) with the given size.
    int32_t layout(float left, float top, float width, float height);
    // Clears the picture to transparent and renders into it; false if the
    // instance has no graphics face or the picture could not be made.
    bool render();
    cairo_surface_t* picture() const { return picture_; }
    bool writePng(const std::string& path, std::string* error) const;

    // Counters of what the instance asked of the host.
    int32_t redrawRequests() const;
    int32_t measureRequests() const;
    struct Transmitted {
        int32_t pin;
        std::vector<unsigned char> bytes;
    };
    const std::vector<Transmitted>& transmitted() const;

private:
    class Host;
    GuiView() = default;
    std::unique_ptr<Host> host_;
    mp::IMpUserInterface2* gui_ = nullptr;
    mp_gui_api::IMpGraphics2* graphics_ = nullptr;
    const GuiModuleDesc* desc_ = nullptr;
    cairo_surface_t* picture_ = nullptr;
    float width_ = 0.0f, height_ = 0.0f;
};

}  // namespace zhost
