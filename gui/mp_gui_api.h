// The binary contract between a host's editor and the GUI half of a module:
// the GUI instance's faces, the GUI host, and the graphics faces through
// which the host lays out, renders and forwards pointer input.
//
// Same conventions as framework/mp_api.h (plain abstract structs, operations
// in declaration order, no virtual destructors, int32 results).
#pragma once

#include <cstdint>

#include "framework/mp_api.h"
#include "gui/mp_drawing_api.h"

namespace mp {

// {21B0EC11-6B66-4B72-928E-77E93A31A628}
inline constexpr MpGuid kIID_IMpUserInterface2 = {
    0x21B0EC11, 0x6B66, 0x4B72, {0x92, 0x8E, 0x77, 0xE9, 0x3A, 0x31, 0xA6, 0x28}};
// {9CD06775-F5C2-4321-812D-0958153294B8}
inline constexpr MpGuid kIID_IMpUserInterface2B = {
    0x9CD06775, 0xF5C2, 0x4321, {0x81, 0x2D, 0x09, 0x58, 0x15, 0x32, 0x94, 0xB8}};
// {DE009D92-E281-4F92-9996-200F49690028}
inline constexpr MpGuid kIID_IMpUserInterfaceHost2 = {
    0xDE009D92, 0xE281, 0x4F92, {0x99, 0x96, 0x20, 0x0F, 0x49, 0x69, 0x00, 0x28}};

// A GUI instance as the editor sees it. Called from the editor thread only.
struct IMpUserInterface2 : IMpUnknown {
    // 3: the host object; the instance queries it for the host interfaces.
    virtual int32_t setHost(IMpUnknown* host) = 0;
    virtual int32_t initialize() = 0;  // 4
    // 5: stores a pin value (no reaction yet); -1 for an unknown pin.
    virtual int32_t setPin(int32_t pinId, int32_t voice, int32_t size, const void* data) = 0;
    // 6: a message posted by the DSP half of the same module.
    virtual int32_t receiveMessageFromAudio(int32_t id, int32_t size, const void* data) = 0;
    // 7-9: context menu and tool tip; -1 when the module offers none.
    virtual int32_t populateContextMenu(float x, float y, IMpUnknown* menu) = 0;
    virtual int32_t onContextMenu(int32_t selection) = 0;
    virtual int32_t getToolTip(float x, float y, IMpUnknown* text) = 0;
    // 10: the value set with setPin is complete: run the pin's reaction.
    virtual int32_t notifyPin(int32_t pinId, int32_t voice) = 0;
};

// The second identifier of the same table.
struct IMpUserInterface2B : IMpUserInterface2 {};

// The editor's side, as seen by a GUI instance.
struct IMpUserInterfaceHost2 : IMpUnknown {
    // 3: a pin value set by the GUI, to be stored and passed on by the host.
    virtual int32_t pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice) = 0;
    // 4: a message to the DSP half of the same module.
    virtual int32_t sendMessageToAudio(int32_t id, int32_t size, const void* data) = 0;
    // 5: the editor's handle for this instance.
    virtual int32_t getHandle(int32_t* handle) = 0;
};

}  // namespace mp

namespace mp_gui_api {

// {4540C6EE-98AB-4C79-B857-66AE64249125}
inline constexpr mp::MpGuid kIID_IMpGraphics = {
    0x4540C6EE, 0x98AB, 0x4C79, {0xB8, 0x57, 0x66, 0xAE, 0x64, 0x24, 0x91, 0x25}};
// {6AEF51B9-C92A-472B-A53E-4A476DF85C85}
inline constexpr mp::MpGuid kIID_IMpGraphics2 = {
    0x6AEF51B9, 0xC92A, 0x472B, {0xA5, 0x3E, 0x4A, 0x47, 0x6D, 0xF8, 0x5C, 0x85}};
// {E394AF51-C4D0-4885-84F1-963CA8182964}
inline constexpr mp::MpGuid kIID_IMpGraphicsHost = {
    0xE394AF51, 0xC4D0, 0x4885, {0x84, 0xF1, 0x96, 0x3C, 0xA8, 0x18, 0x29, 0x64}};

// Pointer flags passed with pointer events.
enum : int32_t { POINTER_PRIMARY = 1, POINTER_SHIFT = 2, POINTER_CTRL = 4 };

// A GUI instance that occupies a rectangle of the editor and draws into it.
struct IMpGraphics : mp::IMpUnknown {
    // 3: the size the module would like, given what is available.
    virtual int32_t measure(mp_draw::Size available, mp_draw::Size* desired) = 0;
    // 4: the module's place in the editor's layout units.
    virtual int32_t arrange(mp_draw::Rect finalRect) = 0;
    // 5: draw into the context (an object answering mp_draw::kIID_IMpDeviceContext).
    virtual int32_t render(mp::IMpUnknown* drawingContext) = 0;
    virtual int32_t onPointerDown(int32_t flags, mp_draw::Point point) = 0;  // 6
    virtual int32_t onPointerMove(int32_t flags, mp_draw::Point point) = 0;  // 7
    virtual int32_t onPointerUp(int32_t flags, mp_draw::Point point) = 0;    // 8
};

struct IMpGraphics2 : IMpGraphics {
    // 9: 0 when the module takes pointer input at all.
    virtual int32_t hitTest() = 0;
    // 10: keyboard focus gained or lost; -1 when not handled.
    virtual int32_t onFocusChange() = 0;
};

// The editor's drawing services for one GUI instance.
struct IMpGraphicsHost : mp::IMpUnknown {
    // 3: layout units per device pixel.
    virtual int32_t getDisplayScale(float* scale) = 0;
    // 4: the factory for bitmaps with pixel access (one reference for the caller).
    virtual int32_t getDrawingFactory(mp::IMpUnknown** factory) = 0;
    // 5: asks for a render; null means the whole module.
    virtual void invalidateRect(const mp_draw::Rect* rect) = 0;
    // 6: asks for a new measure and arrange.
    virtual void invalidateMeasure() = 0;
};

}  // namespace mp_gui_api
