#include "host/graph.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zhost {

// ---------------------------------------------------------------- EventQueue

void EventQueue::reserve(size_t events, size_t bytes) {
    items_.reserve(events);
    events_.reserve(events);
    bytes_.reserve(bytes);
}

void EventQueue::clear() {
    items_.clear();
    bytes_.clear();
}

void EventQueue::push(int32_t time, int32_t type, int32_t pin, const void* data, int32_t size) {
    Item it{time, type, pin, size < 0 ? 0 : size, SIZE_MAX};
    if (data != nullptr && it.size > 0) {
        it.byteOffset = bytes_.size();
        const auto* p = static_cast<const unsigned char*>(data);
        bytes_.insert(bytes_.end(), p, p + it.size);
    }
    // Insertion keeps the list time-ordered; equal times stay in arrival order.
    items_.push_back(it);
    size_t i = items_.size() - 1;
    while (i > 0 && items_[i - 1].time > it.time) {
        items_[i] = items_[i - 1];
        --i;
    }
    items_[i] = it;
}

const mp::MpEvent* EventQueue::link() {
    if (items_.empty()) return nullptr;
    events_.resize(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) {
        const Item& it = items_[i];
        mp::MpEvent& e = events_[i];
        e = mp::MpEvent{};
        e.timeDelta = it.time;
        e.eventType = it.type;
        e.parm1 = it.pin;
        e.parm2 = it.size;
        if (it.byteOffset != SIZE_MAX) {
            const unsigned char* src = bytes_.data() + it.byteOffset;
            if (it.size <= 8) {
                std::memcpy(&e.parm3, src, static_cast<size_t>(it.size));
            } else {
                e.extraData = reinterpret_cast<const char*>(src);
            }
        }
        e.next = i + 1 < items_.size() ? &events_[i + 1] : nullptr;
    }
    return events_.data();
}

// --------------------------------------------------------------------- Graph

namespace {

struct Wire {
    int32_t node;
    int32_t pin;
};

struct Change {
    int64_t sample;
    int32_t pin;
    std::vector<unsigned char> bytes;
};

bool compatible(int32_t a, int32_t b) {
    auto isInt = [](int32_t t) { return t == mp::PIN_TYPE_INT || t == mp::PIN_TYPE_ENUM; };
    return a == b || (isInt(a) && isInt(b));
}

std::vector<unsigned char> floatBytes(float v) {
    std::vector<unsigned char> b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}

std::vector<unsigned char> defaultBytes(const PinDesc& p) {
    switch (p.datatype) {
        case mp::PIN_TYPE_AUDIO:
        case mp::PIN_TYPE_FLOAT:
            return floatBytes(static_cast<float>(p.defaultValue));
        case mp::PIN_TYPE_INT:
        case mp::PIN_TYPE_ENUM: {
            const int32_t v = static_cast<int32_t>(p.defaultValue);
            std::vector<unsigned char> b(4);
            std::memcpy(b.data(), &v, 4);
            return b;
        }
        case mp::PIN_TYPE_BOOL:
            return {static_cast<unsigned char>(p.defaultValue != 0.0 ? 1 : 0)};
        case mp::PIN_TYPE_BLOB: {
            std::vector<unsigned char> b(p.defaultBlob.size() * sizeof(float));
            if (!b.empty()) std::memcpy(b.data(), p.defaultBlob.data(), b.size());
            return b;
        }
        default:
            return {};
    }
}

float bytesToFloat(const std::vector<unsigned char>& b) {
    float v = 0.0f;
    if (b.size() >= 4) std::memcpy(&v, b.data(), 4);
    return v;
}

}  // namespace

struct Graph::Node {
    std::string name;
    std::string module;  // empty for a source
    std::vector<PinDesc> pins;
    std::unique_ptr<Instance> inst;
    std::unique_ptr<Listener> listener;
    std::vector<float*> buffers;                      // per pin, audio pins only
    std::vector<std::vector<Wire>> fanout;            // per output pin
    std::vector<int32_t> wiredFrom;                   // per input pin: number of wires in
    std::vector<std::vector<unsigned char>> initial;  // per input pin
    std::vector<Change> changes;                      // sorted by sample after prepare
    std::vector<float> constant;                      // per unconnected audio input
    std::vector<char> stale;                          // buffer head still holds an old constant
    bool anyStale = false;                            // some entry of `stale` is set
    size_t nextChange = 0;
    EventQueue queue;
    bool asleep = false;
    NodeStats stats;
    // source
    std::vector<std::vector<float>> channels;
    int64_t start = 0;
    int64_t frames = 0;
    int32_t index = 0;
};

class Graph::Listener final : public HostListener {
public:
    Listener(Graph& g, Node& n) : g_(g), n_(n) {}
    void onPinValue(int32_t offset, int32_t pin, int32_t size, const void* data) override {
        g_.emitValue(n_, offset, pin, size, data);
        if (g_.observer_ != nullptr)
            g_.observer_->onOutputValue(n_.index, g_.position_ + g_.clampOffset(offset), pin, size,
                                        data);
    }
    void onGuiMessage(int32_t id, int32_t size, const void* data) override {
        if (g_.observer_ != nullptr)
            g_.observer_->onGuiMessage(n_.index, g_.position_, id, size, data);
    }
    void onPinStreaming(int32_t offset, int32_t pin, bool streaming) override {
        g_.emitStreaming(n_, offset, pin, streaming);
    }
    void onSleepRequest() override {
        n_.asleep = true;
        ++n_.stats.sleepRequests;
    }

private:
    Graph& g_;
    Node& n_;
};

Graph::Graph(const Library& lib, float sampleRate, int32_t blockSize)
    : lib_(lib), sampleRate_(sampleRate), blockSize_(blockSize < 1 ? 1 : blockSize) {}

Graph::~Graph() {
    // Instances go first: they release their host objects on destruction.
    for (auto& n : nodes_) n->inst.reset();
}

int32_t Graph::findNode(const std::string& name) const {
    for (size_t i = 0; i < nodes_.size(); ++i) {
        if (nodes_[i]->name == name) return static_cast<int32_t>(i);
    }
    return -1;
}

const std::string& Graph::nodeName(int32_t node) const {
    return nodes_.at(node)->name;
}
const std::string& Graph::nodeModule(int32_t node) const {
    return nodes_.at(node)->module;
}
bool Graph::isSource(int32_t node) const {
    return nodes_.at(node)->inst == nullptr;
}
const std::vector<PinDesc>& Graph::pins(int32_t node) const {
    return nodes_.at(node)->pins;
}
NodeStats Graph::stats(int32_t node) const {
    NodeStats s = nodes_.at(node)->stats;
    if (prepared_ && !isAwake(node))
        s.blocksAsleep += std::max<int64_t>(0, blocks_ - sleptFrom_[node]);
    return s;
}
bool Graph::asleep(int32_t node) const {
    return nodes_.at(node)->asleep;
}

int32_t Graph::latency(int32_t node) const {
    const Node& n = *nodes_.at(node);
    return n.inst ? n.inst->host().latency() : 0;
}

const float* Graph::audio(int32_t node, int32_t pin) const {
    const Node& n = *nodes_.at(node);
    if (pin < 0 || static_cast<size_t>(pin) >= n.buffers.size()) return nullptr;
    return n.buffers[pin];
}

bool Graph::checkPin(int32_t node, int32_t pin, std::string* error) const {
    if (node < 0 || node >= nodeCount()) {
        *error = "no such node";
        return false;
    }
    if (pin < 0 || static_cast<size_t>(pin) >= nodes_[node]->pins.size()) {
        *error = nodes_[node]->name + ": no pin " + std::to_string(pin);
        return false;
    }
    if (prepared_) {
        *error = "the graph is already prepared";
        return false;
    }
    return true;
}

int32_t Graph::addInstance(const std::string& name, const std::string& moduleId,
                           int32_t extraInputs, std::string* error) {
    if (prepared_) {
        *error = "the graph is already prepared";
        return -1;
    }
    if (findNode(name) >= 0) {
        *error = name + ": duplicate name";
        return -1;
    }
    const ModuleDesc* desc = PinCatalog::global().find(moduleId);
    if (desc == nullptr) {
        *error = moduleId + ": unknown module";
        return -1;
    }
    if (extraInputs < 0 || (extraInputs > 0 && !desc->variableInputs)) {
        *error = moduleId + ": takes no extra inputs";
        return -1;
    }
    auto n = std::make_unique<Node>();
    n->name = name;
    n->module = moduleId;
    n->index = nodeCount();
    n->pins = instancePins(*desc, extraInputs);
    std::vector<PinInfo> infos;
    for (const PinDesc& p : n->pins) infos.push_back(PinInfo{p.direction, p.datatype});
    std::string err;
    n->inst =
        Instance::create(lib_, moduleId, tables_, std::move(infos), sampleRate_, blockSize_, &err);
    if (!n->inst) {
        *error = err.empty() ? moduleId + ": creation failed" : err;
        return -1;
    }
    n->listener = std::make_unique<Listener>(*this, *n);
    n->inst->host().setListener(n->listener.get());
    const size_t np = n->pins.size();
    n->buffers.assign(np, nullptr);
    n->fanout.resize(np);
    n->wiredFrom.assign(np, 0);
    n->initial.resize(np);
    for (size_t i = 0; i < np; ++i) {
        if (n->pins[i].direction == mp::PIN_DIR_IN) n->initial[i] = defaultBytes(n->pins[i]);
    }
    nodes_.push_back(std::move(n));
    return nodeCount() - 1;
}

int32_t Graph::addSource(const std::string& name, std::vector<std::vector<float>> channels,
                         int64_t startSample, std::string* error) {
    if (prepared_) {
        *error = "the graph is already prepared";
        return -1;
    }
    if (findNode(name) >= 0) {
        *error = name + ": duplicate name";
        return -1;
    }
    if (channels.empty()) {
        *error = name + ": no channels";
        return -1;
    }
    auto n = std::make_unique<Node>();
    n->name = name;
    n->index = nodeCount();
    n->frames = static_cast<int64_t>(channels[0].size());
    for (const auto& c : channels) {
        if (static_cast<int64_t>(c.size()) != n->frames) {
            *error = name + ": channels differ in length";
            return -1;
        }
    }
    n->start = startSample < 0 ? 0 : startSample;
    for (size_t c = 0; c < channels.size(); ++c) {
        n->pins.push_back(audioOut("Out" + std::to_string(c + 1)));
    }
    n->channels = std::move(channels);
    const size_t np = n->pins.size();
    n->buffers.assign(np, nullptr);
    n->fanout.resize(np);
    n->wiredFrom.assign(np, 0);
    n->initial.resize(np);
    nodes_.push_back(std::move(n));
    return nodeCount() - 1;
}

bool Graph::connect(int32_t fromNode, int32_t fromPin, int32_t toNode, int32_t toPin,
                    std::string* error) {
    if (!checkPin(fromNode, fromPin, error) || !checkPin(toNode, toPin, error)) return false;
    Node& a = *nodes_[fromNode];
    Node& b = *nodes_[toNode];
    const PinDesc& pa = a.pins[fromPin];
    const PinDesc& pb = b.pins[toPin];
    if (pa.direction != mp::PIN_DIR_OUT) {
        *error = a.name + "." + pa.name + " is an input, not an output";
        return false;
    }
    if (pb.direction != mp::PIN_DIR_IN) {
        *error = b.name + "." + pb.name + " is an output, not an input";
        return false;
    }
    if (!compatible(pa.datatype, pb.datatype)) {
        *error = std::string("cannot wire ") + datatypeName(pa.datatype) + " output " + a.name +
                 "." + pa.name + " to " + datatypeName(pb.datatype) + " input " + b.name + "." +
                 pb.name;
        return false;
    }
    if (pb.datatype == mp::PIN_TYPE_AUDIO && b.wiredFrom[toPin] > 0) {
        *error = b.name + "." + pb.name + " already has a wire (one wire per audio input)";
        return false;
    }
    if (fromNode == toNode) {
        *error = a.name + ": a wire from an instance to itself makes a cycle";
        return false;
    }
    a.fanout[fromPin].push_back(Wire{toNode, toPin});
    ++b.wiredFrom[toPin];
    return true;
}

bool Graph::setInitial(int32_t node, int32_t pin, std::vector<unsigned char> bytes,
                       std::string* error) {
    if (!checkPin(node, pin, error)) return false;
    Node& n = *nodes_[node];
    if (n.pins[pin].direction != mp::PIN_DIR_IN) {
        *error = n.name + "." + n.pins[pin].name + ": an output takes no value";
        return false;
    }
    n.initial[pin] = std::move(bytes);
    return true;
}

bool Graph::addChange(int64_t sample, int32_t node, int32_t pin, std::vector<unsigned char> bytes,
                      std::string* error) {
    if (!checkPin(node, pin, error)) return false;
    Node& n = *nodes_[node];
    if (n.pins[pin].direction != mp::PIN_DIR_IN || !n.inst) {
        *error = n.name + "." + n.pins[pin].name + ": an output takes no value";
        return false;
    }
    if (sample < 0) {
        *error = n.name + "." + n.pins[pin].name + ": negative time";
        return false;
    }
    n.changes.push_back(Change{sample, pin, std::move(bytes)});
    return true;
}

bool Graph::prepare(std::string* error) {
    if (prepared_) return true;
    // Wired audio inputs cannot also be driven by timed changes.
    for (auto& np : nodes_) {
        Node& n = *np;
        for (const Change& c : n.changes) {
            if (n.pins[c.pin].datatype == mp::PIN_TYPE_AUDIO && n.wiredFrom[c.pin] > 0) {
                *error = n.name + "." + n.pins[c.pin].name +
                         ": a wired audio input takes no value changes";
                return false;
            }
        }
    }
    // Topological order (Kahn), ties broken by the order nodes were added.
    const size_t count = nodes_.size();
    std::vector<int32_t> indeg(count, 0);
    for (auto& np : nodes_) {
        for (auto& wires : np->fanout) {
            for (const Wire& w : wires) ++indeg[w.node];
        }
    }
    std::vector<bool> done(count, false);
    order_.clear();
    for (size_t step = 0; step < count; ++step) {
        int32_t pick = -1;
        for (size_t i = 0; i < count; ++i) {
            if (!done[i] && indeg[i] == 0) {
                pick = static_cast<int32_t>(i);
                break;
            }
        }
        if (pick < 0) {
            std::string names;
            for (size_t i = 0; i < count; ++i) {
                if (!done[i]) names += (names.empty() ? "" : ", ") + nodes_[i]->name;
            }
            *error = "wires form a cycle among " + names;
            return false;
        }
        done[pick] = true;
        order_.push_back(pick);
        for (auto& wires : nodes_[pick]->fanout) {
            for (const Wire& w : wires) --indeg[w.node];
        }
    }
    orderPos_.assign(count, 0);
    for (size_t k = 0; k < count; ++k) orderPos_[order_[k]] = static_cast<int32_t>(k);
    awake_.assign((count + 63) / 64, 0);
    for (size_t k = 0; k < count; ++k) awake_[k / 64] |= uint64_t{1} << (k % 64);
    wakeAt_.assign(count, 0);
    sleptFrom_.assign(count, 0);

    // Buffers: one per audio output and per unconnected audio input; a wired
    // input reads its source's output buffer directly.
    buffers_.clear();
    size_t needed = 0;
    for (auto& np : nodes_) {
        for (size_t p = 0; p < np->pins.size(); ++p) {
            const PinDesc& d = np->pins[p];
            if (d.datatype == mp::PIN_TYPE_AUDIO &&
                (d.direction == mp::PIN_DIR_OUT || np->wiredFrom[p] == 0)) {
                ++needed;
            }
        }
    }
    buffers_.reserve(needed);
    for (auto& np : nodes_) {
        Node& n = *np;
        for (size_t p = 0; p < n.pins.size(); ++p) {
            const PinDesc& d = n.pins[p];
            if (d.datatype != mp::PIN_TYPE_AUDIO) continue;
            if (d.direction == mp::PIN_DIR_OUT || n.wiredFrom[p] == 0) {
                const float init =
                    d.direction == mp::PIN_DIR_IN ? bytesToFloat(n.initial[p]) : 0.0f;
                if (d.direction == mp::PIN_DIR_IN) {
                    n.constant.resize(n.pins.size(), 0.0f);
                    n.stale.resize(n.pins.size(), 0);
                    n.constant[p] = init;
                }
                buffers_.emplace_back(static_cast<size_t>(blockSize_), init);
                n.buffers[p] = buffers_.back().data();
            }
        }
    }
    for (auto& np : nodes_) {
        for (size_t p = 0; p < np->pins.size(); ++p) {
            for (const Wire& w : np->fanout[p]) {
                if (np->pins[p].datatype == mp::PIN_TYPE_AUDIO) {
                    nodes_[w.node]->buffers[w.pin] = np->buffers[p];
                }
            }
        }
    }

    // Event storage, sized for the worst ordinary block: every initial value
    // and graph start, every timed change, and per incoming wire a value for
    // each sample plus two streaming reports.
    std::vector<size_t> wiresIn(count, 0);
    std::vector<size_t> blobBytesIn(count, 0);
    for (auto& np : nodes_) {
        for (size_t p = 0; p < np->pins.size(); ++p) {
            for (const Wire& w : np->fanout[p]) {
                ++wiresIn[w.node];
                if (np->pins[p].datatype == mp::PIN_TYPE_BLOB) blobBytesIn[w.node] += 1 << 16;
            }
        }
    }
    for (auto& np : nodes_) {
        Node& n = *np;
        std::stable_sort(n.changes.begin(), n.changes.end(),
                         [](const Change& a, const Change& b) { return a.sample < b.sample; });
        size_t bytes = blobBytesIn[n.index] + 256;
        for (const auto& v : n.initial) bytes += v.size();
        for (const Change& c : n.changes) bytes += c.bytes.size();
        const size_t events = n.pins.size() + 2 + n.changes.size() +
                              wiresIn[n.index] * (static_cast<size_t>(blockSize_) + 2);
        n.queue.reserve(events, bytes);
    }

    // Open every instance, then hand it its buffers.
    for (int32_t idx : order_) {
        Node& n = *nodes_[idx];
        if (!n.inst) continue;
        if (n.inst->open() != mp::MP_OK) {
            *error = n.name + ": open failed";
            return false;
        }
        for (size_t p = 0; p < n.pins.size(); ++p) {
            if (n.buffers[p] != nullptr) n.inst->bindBuffer(static_cast<int32_t>(p), n.buffers[p]);
        }
    }
    prepared_ = true;
    return true;
}

int32_t Graph::clampOffset(int32_t offset) const {
    // The modules rely on ordered time stamps inside the block.
    if (offset < 0) return 0;
    if (offset >= count_) return count_ - 1;
    return offset;
}

void Graph::emitStreaming(Node& from, int32_t offset, int32_t pin, bool streaming) {
    if (pin < 0 || static_cast<size_t>(pin) >= from.fanout.size()) return;
    const int32_t t = clampOffset(offset);
    const int32_t type = streaming ? mp::EVENT_PIN_STREAMING_START : mp::EVENT_PIN_STREAMING_STOP;
    for (const Wire& w : from.fanout[pin]) {
        nodes_[w.node]->queue.push(t, type, w.pin);
        wake(w.node);
    }
}

void Graph::emitValue(Node& from, int32_t offset, int32_t pin, int32_t size, const void* data) {
    if (pin < 0 || static_cast<size_t>(pin) >= from.fanout.size()) return;
    const int32_t t = clampOffset(offset);
    for (const Wire& w : from.fanout[pin]) {
        nodes_[w.node]->queue.push(t, mp::EVENT_PIN_SET, w.pin, data, size);
        wake(w.node);
    }
}

void Graph::queueBlockStart(Node& n, int32_t count) {
    if (position_ == 0) {
        // Control values, then the unconnected audio inputs' static state,
        // then the graph start, all at time 0.
        for (size_t p = 0; p < n.pins.size(); ++p) {
            const PinDesc& d = n.pins[p];
            if (d.direction != mp::PIN_DIR_IN || d.datatype == mp::PIN_TYPE_AUDIO ||
                d.datatype == mp::PIN_TYPE_MIDI) {
                continue;
            }
            const auto& v = n.initial[p];
            n.queue.push(0, mp::EVENT_PIN_SET, static_cast<int32_t>(p), v.data(),
                         static_cast<int32_t>(v.size()));
        }
        for (size_t p = 0; p < n.pins.size(); ++p) {
            const PinDesc& d = n.pins[p];
            if (d.direction == mp::PIN_DIR_IN && d.datatype == mp::PIN_TYPE_AUDIO &&
                n.wiredFrom[p] == 0) {
                n.queue.push(0, mp::EVENT_PIN_STREAMING_STOP, static_cast<int32_t>(p));
            }
        }
        n.queue.push(0, mp::EVENT_GRAPH_START, -1);
    }
    // Checked first: a sleeping node's block should cost next to nothing.
    if (n.anyStale) {
        for (size_t p = 0; p < n.stale.size(); ++p) {
            if (n.stale[p]) {
                std::fill(n.buffers[p], n.buffers[p] + blockSize_, n.constant[p]);
                n.stale[p] = 0;
            }
        }
        n.anyStale = false;
    }
    const int64_t end = position_ + count;
    while (n.nextChange < n.changes.size() && n.changes[n.nextChange].sample < end) {
        const Change& c = n.changes[n.nextChange++];
        const int32_t t = static_cast<int32_t>(c.sample - position_);
        if (n.pins[c.pin].datatype == mp::PIN_TYPE_AUDIO) {
            // A new constant on an unconnected input from t on; the head of the
            // buffer is brought up to date at the start of the next block.
            const float v = bytesToFloat(c.bytes);
            float* buf = n.buffers[c.pin];
            std::fill(buf + t, buf + blockSize_, v);
            n.constant[c.pin] = v;
            n.stale[c.pin] = t > 0 ? 1 : 0;
            n.anyStale = n.anyStale || t > 0;
            n.queue.push(t, mp::EVENT_PIN_STREAMING_STOP, c.pin);
        } else {
            n.queue.push(t, mp::EVENT_PIN_SET, c.pin, c.bytes.data(),
                         static_cast<int32_t>(c.bytes.size()));
        }
    }
}

void Graph::runSource(Node& n, int32_t count) {
    const int64_t end = position_ + count;
    const int64_t stop = n.start + n.frames;
    for (size_t c = 0; c < n.channels.size(); ++c) {
        float* buf = n.buffers[c];
        const std::vector<float>& src = n.channels[c];
        for (int32_t i = 0; i < count; ++i) {
            const int64_t s = position_ + i - n.start;
            buf[i] = (s >= 0 && s < n.frames) ? src[static_cast<size_t>(s)] : 0.0f;
        }
    }
    for (size_t c = 0; c < n.channels.size(); ++c) {
        const int32_t pin = static_cast<int32_t>(c);
        if (position_ == 0 && !(n.start == 0 && n.frames > 0)) {
            emitStreaming(n, 0, pin, false);
        }
        if (n.frames > 0 && n.start >= position_ && n.start < end) {
            emitStreaming(n, static_cast<int32_t>(n.start - position_), pin, true);
        }
        if (n.frames > 0 && stop >= position_ && stop < end) {
            emitStreaming(n, static_cast<int32_t>(stop - position_), pin, false);
        }
    }
    ++n.stats.blocksProcessed;
}

void Graph::runInstance(Node& n, int32_t count) {
    if (n.asleep && n.queue.empty()) {
        // Asleep: the output buffers hold their last (constant) samples.
        ++n.stats.blocksAsleep;
        passOverWhileAsleep(n);
        return;
    }
    n.asleep = false;
    const mp::MpEvent* events = n.queue.link();
    if (tracing_) {
        for (const mp::MpEvent* e = events; e != nullptr; e = e->next) {
            const auto* v = static_cast<const unsigned char*>(e->valueBytes());
            trace_.push_back(TracedEvent{position_, n.index, e->timeDelta, e->eventType, e->parm1,
                                         std::vector<unsigned char>(v, v + e->parm2)});
        }
    }
    n.inst->process(count, events);
    n.queue.clear();
    ++n.stats.blocksProcessed;
    if (n.asleep) passOverWhileAsleep(n);
}

// Asleep with nothing left to deliver: runBlock passes over the node until
// its next timed change or an event from upstream.
void Graph::passOverWhileAsleep(Node& n) {
    if (n.anyStale) return;
    const int32_t k = orderPos_[n.index];
    awake_[k / 64] &= ~(uint64_t{1} << (k % 64));
    sleptFrom_[n.index] = blocks_ + 1;
    wakeAt_[n.index] = n.nextChange < n.changes.size() ? n.changes[n.nextChange].sample
                                                       : std::numeric_limits<int64_t>::max();
    nextWake_ = std::min(nextWake_, wakeAt_[n.index]);
}

bool Graph::isAwake(int32_t node) const {
    const int32_t k = orderPos_[node];
    return (awake_[k / 64] >> (k % 64)) & 1u;
}

void Graph::wake(int32_t node) {
    if (isAwake(node)) return;
    const int32_t k = orderPos_[node];
    awake_[k / 64] |= uint64_t{1} << (k % 64);
    nodes_[node]->stats.blocksAsleep += std::max<int64_t>(0, blocks_ - sleptFrom_[node]);
}

// Wakes the passed-over nodes whose next timed change falls before `end`.
void Graph::wakeTimed(int64_t end) {
    nextWake_ = std::numeric_limits<int64_t>::max();
    for (size_t node = 0; node < nodes_.size(); ++node) {
        const auto i = static_cast<int32_t>(node);
        if (isAwake(i)) continue;
        if (wakeAt_[node] < end) {
            wake(i);
        } else {
            nextWake_ = std::min(nextWake_, wakeAt_[node]);
        }
    }
}

// Calls f(node) for every awake node in topological order, including nodes
// woken while the pass runs: those lie downstream, at later positions.
template <typename F>
void Graph::forEachAwake(F&& f) {
    for (size_t w = 0; w < awake_.size(); ++w) {
        uint64_t bits = awake_[w];
        while (bits != 0) {
            const int b = __builtin_ctzll(bits);
            f(order_[w * 64 + static_cast<size_t>(b)]);
            bits = awake_[w] & ((~uint64_t{0} << b) << 1);
        }
    }
}

void Graph::runBlock(int32_t count) {
    if (!prepared_ || count <= 0) return;
    if (count > blockSize_) count = blockSize_;
    count_ = count;
    const int64_t end = position_ + count;
    if (nextWake_ < end) wakeTimed(end);
    forEachAwake([&](int32_t idx) {
        Node& n = *nodes_[idx];
        if (n.inst) queueBlockStart(n, count);
    });
    forEachAwake([&](int32_t idx) {
        Node& n = *nodes_[idx];
        if (n.inst) {
            runInstance(n, count);
        } else {
            runSource(n, count);
        }
    });
    position_ += count;
    ++blocks_;
}

}  // namespace zhost
