// The reference host's graph engine: module instances and sound-file sources
// wired pin to pin, run block by block in topological order. Everything the
// run needs (buffers, event storage) is allocated while the graph is built;
// runBlock itself allocates nothing.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "framework/mp_api.h"
#include "host/host_core.h"
#include "host/pin_catalog.h"

namespace zhost {

// Events of one instance for one block: kept in arrival order, sorted stably
// by time when handed over, so equal time stamps keep their arrival order.
class EventQueue {
public:
    void reserve(size_t events, size_t bytes);
    void clear();
    bool empty() const { return items_.empty(); }
    size_t size() const { return items_.size(); }
    void push(int32_t time, int32_t type, int32_t pin, const void* data = nullptr,
              int32_t size = 0);
    // Orders the events by time and links them; null when empty. The result
    // stays valid until the next push or clear.
    const mp::MpEvent* link();

private:
    struct Item {
        int32_t time, type, pin, size;
        size_t byteOffset;
    };
    std::vector<Item> items_;
    std::vector<unsigned char> bytes_;
    std::vector<mp::MpEvent> events_;
};

struct NodeStats {
    int64_t blocksProcessed = 0;
    int64_t blocksAsleep = 0;  // blocks skipped because the instance slept
    int64_t sleepRequests = 0;
};

// One event as an instance received it; recorded only while tracing.
struct TracedEvent {
    int64_t blockStart;
    int32_t node;
    int32_t time, type, pin;
    std::vector<unsigned char> value;
};

// Sees what instances send besides their wired outputs: every output value
// (with its absolute sample position) and the messages they post to their
// GUI halves. Called while a block runs, on the processing thread.
class GraphObserver {
public:
    virtual ~GraphObserver() = default;
    virtual void onOutputValue(int32_t /*node*/, int64_t /*sample*/, int32_t /*pin*/,
                               int32_t /*size*/, const void* /*data*/) {}
    virtual void onGuiMessage(int32_t /*node*/, int64_t /*sample*/, int32_t /*id*/,
                              int32_t /*size*/, const void* /*data*/) {}
};

class Graph {
public:
    Graph(const Library& lib, float sampleRate, int32_t blockSize);
    ~Graph();
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;

    // ---- building (before prepare); each returns -1/false with *error set
    int32_t addInstance(const std::string& name, const std::string& moduleId, int32_t extraInputs,
                        std::string* error);
    // A sound-file player: one audio output per channel, playing from
    // startSample on, then 0.0. All channels have the same length.
    int32_t addSource(const std::string& name, std::vector<std::vector<float>> channels,
                      int64_t startSample, std::string* error);
    bool connect(int32_t fromNode, int32_t fromPin, int32_t toNode, int32_t toPin,
                 std::string* error);
    // Initial value of an input: the constant of an unconnected audio input
    // (4 bytes, float) or the bytes of a control value.
    bool setInitial(int32_t node, int32_t pin, std::vector<unsigned char> bytes,
                    std::string* error);
    // A value change at an absolute sample position.
    bool addChange(int64_t sample, int32_t node, int32_t pin, std::vector<unsigned char> bytes,
                   std::string* error);
    // Orders the nodes, opens the instances and binds every buffer.
    bool prepare(std::string* error);

    // ---- running
    // Runs the next block of `count` samples (1 .. blockSize).
    void runBlock(int32_t count);
    int64_t position() const { return position_; }

    // ---- inspection
    int32_t nodeCount() const { return static_cast<int32_t>(nodes_.size()); }
    int32_t findNode(const std::string& name) const;
    const std::string& nodeName(int32_t node) const;
    const std::string& nodeModule(int32_t node) const;  // empty for a source
    bool isSource(int32_t node) const;
    const std::vector<PinDesc>& pins(int32_t node) const;
    // The audio buffer of an audio pin (valid after prepare), else null.
    const float* audio(int32_t node, int32_t pin) const;
    NodeStats stats(int32_t node) const;
    int32_t latency(int32_t node) const;  // last reported latency, 0 for sources
    bool asleep(int32_t node) const;
    const std::vector<int32_t>& order() const { return order_; }
    float sampleRate() const { return sampleRate_; }
    int32_t blockSize() const { return blockSize_; }

    void setObserver(GraphObserver* observer) { observer_ = observer; }
    void setTracing(bool on) { tracing_ = on; }
    const std::vector<TracedEvent>& trace() const { return trace_; }
    void clearTrace() { trace_.clear(); }

private:
    struct Node;
    class Listener;
    void emitStreaming(Node& from, int32_t offset, int32_t pin, bool streaming);
    void emitValue(Node& from, int32_t offset, int32_t pin, int32_t size, const void* data);
    void queueBlockStart(Node& n, int32_t count);
    void runSource(Node& n, int32_t count);
    void runInstance(Node& n, int32_t count);
    void passOverWhileAsleep(Node& n);
    bool isAwake(int32_t node) const;
    void wake(int32_t node);
    void wakeTimed(int64_t end);
    template <typename F>
    void forEachAwake(F&& f);
    int32_t clampOffset(int32_t offset) const;
    bool checkPin(int32_t node, int32_t pin, std::string* error) const;

    const Library& lib_;
    float sampleRate_;
    int32_t blockSize_;
    SharedTableStore tables_;
    std::vector<std::unique_ptr<Node>> nodes_;
    std::vector<int32_t> order_;
    // Sleeping instances cost the graph nothing per block: `awake_` has one
    // bit per position in `order_`, and runBlock visits set bits only. A node
    // whose instance sleeps with nothing to deliver is cleared; an event from
    // upstream (emit*) or its next timed change (`wakeAt_`, per node) sets it
    // again. `sleptFrom_` is the block from which a cleared node was passed
    // over, for its statistics.
    std::vector<uint64_t> awake_;
    std::vector<int32_t> orderPos_;                           // per node
    std::vector<int64_t> wakeAt_;                             // per node, while cleared
    std::vector<int64_t> sleptFrom_;                          // per node, while cleared
    int64_t nextWake_ = std::numeric_limits<int64_t>::max();  // earliest wakeAt_ of a cleared node
    int64_t blocks_ = 0;                                      // blocks run so far
    std::vector<std::vector<float>> buffers_;
    int64_t position_ = 0;
    int32_t count_ = 0;  // samples in the block being run
    bool prepared_ = false;
    bool tracing_ = false;
    GraphObserver* observer_ = nullptr;
    std::vector<TracedEvent> trace_;
};

}  // namespace zhost
