// Strip-chart plotter.
//
// Plotter (DSP half) reduces its input to one (minimum, maximum) pair per
// chart column and posts each pair to the GUI half as an 8-byte message.
//
// PlotterGUI scrolls its chart one pixel to the left per pair and draws the
// pair as a vertical bar in the rightmost column, with a partly covered pixel
// above and below, over a cached gradient background with 21 grid lines.
#pragma once

#include <deque>

#include "framework/mp_pins.h"
#include "gui/mp_gui_gfx.h"

class Plotter : public MpBase2 {
public:
    Plotter();
    void onPinsChanged() override;

private:
    void capture(int32_t count);

    AudioInPin pinSignal;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinIntervalMs;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinRange;

    float gain_ = 1.0f;
    int32_t period_ = 1000;
    uint32_t counter_ = 0;
    // Minimum first, then maximum: together they are the message body.
    float extremes_[2] = {1.0e30f, -1.0e30f};
};

class PlotterGUI : public mp_gui::MpGuiGfxBase {
public:
    PlotterGUI();
    ~PlotterGUI() override;
    int32_t render(mp::IMpUnknown* drawingContext) override;
    int32_t receiveMessageFromAudio(int32_t id, int32_t size, const void* data) override;

    // Pairs waiting for the next render are kept up to this many; older ones
    // would scroll out of any chart the host can draw.
    static constexpr size_t kMaxPending = 16384;

private:
    struct Pair {
        float minimum;
        float maximum;
    };

    void onHold();
    void onColours();
    bool buildBackground(mp_draw::IMpDeviceContext* context, float width, float height);
    void addColumns(mp_draw::IMpBitmap* image, int32_t w, int32_t h, float height);

    MpGuiPin<bool> pinHold;
    StringGuiPin pinColour1;
    StringGuiPin pinColour2;
    StringGuiPin pinColour3;
    StringGuiPin pinColour4;

    bool hold_ = false;
    bool newPair_ = false;
    float lastMinimum_ = 0.0f;
    float lastMaximum_ = 0.0f;
    std::deque<Pair> pending_;
    int32_t cachedW_ = 0;
    int32_t cachedH_ = 0;
    mp_gui::MpRef<mp_draw::IMpBitmap> background_;
    mp_gui::MpRef<mp_draw::IMpBitmap> chart_;
    mp_draw::Colour defaults_[4];
    mp_draw::Colour colours_[4];
};
