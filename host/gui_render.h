// Shows the GUI halves of a patch's display instances while it renders, as
// an editor would: values the DSP half sends on its outputs and messages it
// posts reach the GUI half, which is rendered after each delivery; pictures
// are written as PNG files (at the end, and optionally as a numbered sequence).
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "host/graph.h"
#include "host/gui_host.h"

namespace zhost {

// The "view" field of a patch instance.
struct PatchView {
    bool present = false;
    float width = 400.0f;
    float height = 300.0f;
    std::string png;          // the picture at the end of the render
    std::string sequence;     // numbered pictures: "scope_####.png", the #s become the number
    int64_t every = 0;        // samples between numbered pictures
    int64_t everyFrames = 0;  // or: frames (values or messages) delivered between them
    std::vector<std::pair<int32_t, std::vector<unsigned char>>> pins;  // GUI pin values
};

// Reads a "view" object for an instance of `module`; false with *error set.
bool parseView(const nlohmann::json& v, const std::string& module, PatchView* out,
               std::string* error);

class PatchViews final : public GraphObserver {
public:
    // One view per instance with a "view" field; `views[i]` belongs to graph node `nodes[i]`.
    bool add(int32_t node, const std::string& module, const PatchView& view, const Library& lib,
             std::string* error);
    bool empty() const { return views_.empty(); }
    // After each block: numbered pictures due by `position` (samples rendered).
    bool afterBlock(int64_t position, std::string* error);
    // At the end of the render: the final pictures.
    bool finish(std::string* error);
    int32_t picturesWritten() const { return written_; }

    void onOutputValue(int32_t node, int64_t sample, int32_t pin, int32_t size,
                       const void* data) override;
    void onGuiMessage(int32_t node, int64_t sample, int32_t id, int32_t size,
                      const void* data) override;

private:
    struct Entry {
        int32_t node;
        PatchView view;
        std::unique_ptr<GuiView> gui;
        int64_t nextPicture = 0;
        int32_t sequenceNumber = 0;
        int64_t delivered = 0;
    };
    Entry* find(int32_t node);
    // After a delivery: a numbered picture every `everyFrames` deliveries.
    void countDelivery(Entry& e);
    bool writeNumbered(Entry& e, std::string* error);
    std::string failed_;  // a picture that could not be written during the run
    std::vector<Entry> views_;
    int32_t written_ = 0;
};

}  // namespace zhost
