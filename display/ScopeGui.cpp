#include "display/ScopeGui.h"

#include "display/ColourTable.h"

using namespace mp_draw;

ScopeGuiBase::ScopeGuiBase() {
    defaults_ = display::defaultScopeColours();
    colours_ = defaults_;
}

ScopeGuiBase::~ScopeGuiBase() {
    trace_.release();
    grid_.release();
    background_.release();
}

void ScopeGuiBase::initializeColourPins() {
    initializePin(pinColour1, &ScopeGuiBase::onColours);
    initializePin(pinColour2, &ScopeGuiBase::onColours);
    initializePin(pinColour3, &ScopeGuiBase::onColours);
    initializePin(pinColour4, &ScopeGuiBase::onColours);
    initializePin(pinColour5, &ScopeGuiBase::onColours);
}

void ScopeGuiBase::initializeDivisionPins() {
    initializePin(pinXDivisions, &ScopeGuiBase::onDivisions);
    initializePin(pinYDivisions, &ScopeGuiBase::onDivisions);
}

void ScopeGuiBase::onColours() {
    colours_.backgroundTop = display::colourFromText(pinColour1, defaults_.backgroundTop);
    colours_.backgroundBottom = display::colourFromText(pinColour2, defaults_.backgroundBottom);
    colours_.trace = display::colourFromText(pinColour3, defaults_.trace);
    colours_.grid = display::colourFromText(pinColour4, defaults_.grid);
    colours_.axes = display::colourFromText(pinColour5, defaults_.axes);
    // The trace keeps its colour until it is drawn again.
    background_.release();
    grid_.release();
    invalidateRect();
}

void ScopeGuiBase::onDivisions(int32_t pinIndex) {
    const bool isX = pinIndex == pinXDivisions.getIndex();
    const float v = isX ? pinXDivisions.getValue() : pinYDivisions.getValue();
    if (v > 0.0f && v <= 20.0f) (isX ? xDivisions_ : yDivisions_) = v;
    trace_.release();
    grid_.release();
    invalidateRect();
}

display::ModuleSize ScopeGuiBase::drawScopeLayers(IMpDeviceContext* context) {
    const display::ModuleSize size = display::moduleSize(getRect());
    if (size.w != cachedW_ || size.h != cachedH_) {
        cachedW_ = size.w;
        cachedH_ = size.h;
        background_.release();
        grid_.release();
        trace_.release();
    }
    if (size.w > 0 && size.h > 0) {
        if (colours_.backgroundTop.a > 0.0f || colours_.backgroundBottom.a > 0.0f) {
            if (!background_)
                display::buildScopeBackground(context, size.width, size.height, colours_,
                                              background_);
            display::drawLayer(context, background_.get(), size.width, size.height);
        }
        if (colours_.grid.a > 0.0f || colours_.axes.a > 0.0f) {
            if (!grid_)
                display::buildScopeGrid(context, size.width, size.height, colours_, xDivisions_,
                                        yDivisions_, grid_);
            display::drawLayer(context, grid_.get(), size.width, size.height);
        }
    }
    return size;
}
