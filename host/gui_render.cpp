#include "host/gui_render.h"

#include <cmath>
#include <cstdint>

namespace zhost {

namespace {

// The run of '#' in the pattern becomes the number, zero-padded to its length.
std::string sequenceName(const std::string& pattern, int32_t n) {
    const size_t at = pattern.find('#');
    size_t len = 0;
    while (at + len < pattern.size() && pattern[at + len] == '#') ++len;
    std::string digits = std::to_string(n);
    if (digits.size() < len) digits.insert(0, len - digits.size(), '0');
    return pattern.substr(0, at) + digits + pattern.substr(at + len);
}

}  // namespace

bool parseView(const nlohmann::json& v, const std::string& module, PatchView* out,
               std::string* error) {
    if (!v.is_object()) {
        *error = "\"view\" must be an object {\"width\", \"height\", \"png\", ...}";
        return false;
    }
    const GuiModuleDesc* desc = GuiCatalog::global().find(module);
    if (desc == nullptr) {
        *error = module + " has no display to view";
        return false;
    }
    PatchView view;
    view.present = true;
    view.width = desc->defaultWidth;
    view.height = desc->defaultHeight;
    for (auto it = v.begin(); it != v.end(); ++it) {
        const std::string& k = it.key();
        const nlohmann::json& x = it.value();
        if (k == "width" || k == "height") {
            if (!x.is_number() || !(x.get<double>() >= 1.0 && x.get<double>() <= 8192.0)) {
                *error = "view." + k + " must be a number from 1 to 8192";
                return false;
            }
            (k == "width" ? view.width : view.height) = x.get<float>();
        } else if (k == "png" || k == "sequence") {
            if (!x.is_string() || x.get<std::string>().empty()) {
                *error = "view." + k + " must be a file name";
                return false;
            }
            (k == "png" ? view.png : view.sequence) = x.get<std::string>();
        } else if (k == "every" || k == "every_frames") {
            if (!x.is_number_integer() || x.get<int64_t>() < 1) {
                *error = "view." + k + " must be a whole number, at least 1";
                return false;
            }
            (k == "every" ? view.every : view.everyFrames) = x.get<int64_t>();
        } else if (k == "pins") {
            if (!x.is_object()) {
                *error = "view.pins must be an object pin: value";
                return false;
            }
            for (auto p = x.begin(); p != x.end(); ++p) {
                int32_t pin = -1;
                for (size_t i = 0; i < desc->pins.size(); ++i) {
                    std::string a = desc->pins[i].name, b = p.key();
                    for (auto& c : a) c = static_cast<char>(std::tolower(c));
                    for (auto& c : b) c = static_cast<char>(std::tolower(c));
                    if (a == b) pin = static_cast<int32_t>(i);
                }
                if (pin < 0) {
                    *error = "view.pins: unknown display pin \"" + p.key() + "\" of " + module;
                    return false;
                }
                const GuiPinDesc& d = desc->pins[pin];
                const nlohmann::json& val = p.value();
                if (d.datatype == mp::PIN_TYPE_STRING ? !val.is_string()
                                                      : !(val.is_number() || val.is_boolean())) {
                    *error = "view.pins." + p.key() +
                             (d.datatype == mp::PIN_TYPE_STRING ? ": expected a text"
                                                                : ": expected a number");
                    return false;
                }
                view.pins.emplace_back(
                    pin, d.datatype == mp::PIN_TYPE_STRING
                             ? encodeGuiValue(d.datatype, val.get<std::string>(), 0.0)
                             : encodeGuiValue(d.datatype, "",
                                              val.is_boolean() ? (val.get<bool>() ? 1.0 : 0.0)
                                                               : val.get<double>()));
            }
        } else if (k != "comment") {
            *error = "view: unknown key \"" + k + "\"";
            return false;
        }
    }
    if (!view.sequence.empty() && view.sequence.find('#') == std::string::npos) {
        *error = "view.sequence needs a run of '#' for the picture number, e.g. \"scope_####.png\"";
        return false;
    }
    if (!view.sequence.empty() && (view.every == 0) == (view.everyFrames == 0)) {
        *error =
            "view.sequence needs either \"every\" (samples between pictures) or "
            "\"every_frames\" (frames between pictures)";
        return false;
    }
    *out = std::move(view);
    return true;
}

bool PatchViews::add(int32_t node, const std::string& module, const PatchView& view,
                     const Library& lib, std::string* error) {
    Entry e;
    e.node = node;
    e.view = view;
    e.gui = GuiView::create(lib, module, view.width, view.height, error);
    if (!e.gui) return false;
    for (const auto& pv : view.pins) e.gui->setPin(pv.first, pv.second);
    e.nextPicture = view.every > 0 ? view.every : INT64_MAX;
    views_.push_back(std::move(e));
    return true;
}

PatchViews::Entry* PatchViews::find(int32_t node) {
    for (Entry& e : views_)
        if (e.node == node) return &e;
    return nullptr;
}

void PatchViews::onOutputValue(int32_t node, int64_t, int32_t pin, int32_t size, const void* data) {
    Entry* e = find(node);
    // Rendered at once, so that every frame is drawn, as an editor keeping up would.
    if (e != nullptr && e->gui->deliverOutput(pin, data, size)) {
        e->gui->render();
        countDelivery(*e);
    }
}

void PatchViews::onGuiMessage(int32_t node, int64_t, int32_t id, int32_t size, const void* data) {
    Entry* e = find(node);
    if (e == nullptr) return;
    e->gui->deliverMessage(id, size, data);
    e->gui->render();
    countDelivery(*e);
}

void PatchViews::countDelivery(Entry& e) {
    if (e.view.everyFrames <= 0 || !failed_.empty()) return;
    if (++e.delivered % e.view.everyFrames == 0) writeNumbered(e, &failed_);
}

bool PatchViews::writeNumbered(Entry& e, std::string* error) {
    const std::string name = sequenceName(e.view.sequence, e.sequenceNumber);
    if (!e.gui->writePng(name, error)) return false;
    ++e.sequenceNumber;
    ++written_;
    return true;
}

bool PatchViews::afterBlock(int64_t position, std::string* error) {
    if (!failed_.empty()) {
        *error = failed_;
        return false;
    }
    for (Entry& e : views_) {
        if (e.view.sequence.empty()) continue;
        while (position >= e.nextPicture) {
            e.gui->render();
            if (!writeNumbered(e, error)) return false;
            e.nextPicture += e.view.every;
        }
    }
    return true;
}

bool PatchViews::finish(std::string* error) {
    for (Entry& e : views_) {
        if (e.view.png.empty()) continue;
        e.gui->render();
        if (!e.gui->writePng(e.view.png, error)) return false;
        ++written_;
    }
    return true;
}

}  // namespace zhost
