#include "host/validate.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iomanip>
#include <limits>
#include <memory>
#include <random>
#include <sstream>

#include "host/gui_host.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZDSP_VALIDATE_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZDSP_VALIDATE_LSAN 1
#endif
#endif
#ifdef ZDSP_VALIDATE_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace zhost {

namespace {

constexpr size_t kMaxNotes = 6;
constexpr int32_t kMaxBlock = 4096;
constexpr int32_t kGuard = 64;  // samples past the block that must stay untouched

// A signalling NaN no arithmetic produces: any sample still holding it after
// processBlock was not written by the module.
constexpr uint32_t kSentinelBits = 0x7FA5A5A5u;

float sentinel() {
    float f;
    std::memcpy(&f, &kSentinelBits, 4);
    return f;
}
bool isSentinel(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b == kSentinelBits;
}
float fromBits(uint32_t b) {
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

uint64_t hashId(const std::string& s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}

class Rng {
public:
    explicit Rng(uint64_t seed) : g_(seed) {}
    uint32_t u32() { return static_cast<uint32_t>(g_()); }
    // Uniform in [lo, hi].
    int32_t range(int32_t lo, int32_t hi) {
        return lo + static_cast<int32_t>(g_() % static_cast<uint64_t>(int64_t(hi) - lo + 1));
    }
    double uni() { return std::uniform_real_distribution<double>(0.0, 1.0)(g_); }
    bool chance(double p) { return uni() < p; }
    float signedUnit() { return static_cast<float>(uni() * 2.0 - 1.0); }
    template <class T>
    const T& pick(const std::vector<T>& v) {
        return v[static_cast<size_t>(range(0, static_cast<int32_t>(v.size()) - 1))];
    }

private:
    std::mt19937_64 g_;
};

// Values that overflow or poison arithmetic.
float specialFloat(Rng& r) {
    static const std::vector<float> v = {std::numeric_limits<float>::quiet_NaN(),
                                         -std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::infinity(),
                                         -std::numeric_limits<float>::infinity(),
                                         FLT_MAX,
                                         -FLT_MAX,
                                         1e30f,
                                         -1e30f,
                                         1e20f,
                                         -3e9f,
                                         fromBits(0x7FC12345u)};
    return r.pick(v);
}

// Ordinary values, denormals included.
float ordinaryFloat(Rng& r) {
    switch (r.range(0, 9)) {
        case 0:
            return 0.0f;
        case 1:
            return r.chance(0.5) ? 1.0f : -1.0f;
        case 2:
            return r.chance(0.5) ? 1e-40f : -1.4e-45f;  // denormals
        case 3:
            return -0.0f;
        case 4:
            return static_cast<float>(r.range(-8, 8)) * 0.125f;
        default:
            return r.signedUnit();
    }
}

std::string describe(float v) {
    std::ostringstream s;
    s << std::setprecision(9) << v;
    return s.str();
}

// ------------------------------------------------------------ the listener

// Collects what one instance reports during one block, without allocating
// (its storage is reserved up front).
class Watch final : public HostListener {
public:
    struct Report {
        int32_t offset, pin;
        bool streaming;
    };
    explicit Watch(const std::vector<PinDesc>& pins) : pins_(pins) {
        reports.reserve(8192);
        blobOutSize.assign(pins.size(), -1);
    }
    void begin(int32_t count) {
        count_ = count;
        reports.clear();
        lostReports = 0;
        sleeps = 0;
        blobOutResized = false;
        badOffsets = 0;
        badPins = 0;
    }
    void onPinValue(int32_t offset, int32_t pin, int32_t size, const void*) override {
        if (offset < 0 || offset > count_) ++badOffsets;
        if (!isOut(pin) || pins_[pin].datatype == mp::PIN_TYPE_AUDIO) {
            ++badPins;
            return;
        }
        if (pins_[pin].datatype == mp::PIN_TYPE_BLOB) {
            if (blobOutSize[pin] != size) blobOutResized = true;
            blobOutSize[pin] = size;
        }
    }
    void onPinStreaming(int32_t offset, int32_t pin, bool streaming) override {
        if (offset < 0 || offset > count_) ++badOffsets;
        if (!isOut(pin) || pins_[pin].datatype != mp::PIN_TYPE_AUDIO) {
            ++badPins;
            return;
        }
        if (reports.size() == reports.capacity()) {
            ++lostReports;
            return;
        }
        reports.push_back(Report{offset, pin, streaming});
    }
    void onSleepRequest() override { ++sleeps; }

    std::vector<Report> reports;
    int64_t lostReports = 0;
    int32_t sleeps = 0;
    bool blobOutResized = false;
    int32_t badOffsets = 0;
    int32_t badPins = 0;
    std::vector<int64_t> blobOutSize;

private:
    bool isOut(int32_t pin) const {
        return pin >= 0 && static_cast<size_t>(pin) < pins_.size() &&
               pins_[pin].direction == mp::PIN_DIR_OUT;
    }
    const std::vector<PinDesc>& pins_;
    int32_t count_ = 0;
};

// ------------------------------------------------------------- one instance

struct Planned {
    int32_t time, type, pin;
    std::vector<unsigned char> bytes;
};

struct InChange {
    int32_t time;
    bool streaming;
    float constant;
};

struct Context {
    const Library& lib;
    const ModuleDesc& desc;
    const ValidateOptions& opt;
    SharedTableStore& tables;
    ModuleResult& result;
    Rng& rng;
    float rate = 48000.0f;
    int32_t hostBlock = 64;
    bool dirty = false;  // may send non-finite, huge and malformed values
    std::string where;   // "rate 48000, block 64, cycle 3"
};

class Sim {
public:
    Sim(Context& c, int32_t extraInputs) : c_(c) {
        pins_ = instancePins(c.desc, extraInputs);
        std::vector<PinInfo> infos;
        for (const PinDesc& p : pins_) infos.push_back(PinInfo{p.direction, p.datatype});
        std::string err;
        inst_ = Instance::create(c.lib, c.desc.id, c.tables, infos, c.rate, c.hostBlock, &err);
        if (!inst_) {
            c.result.fail(Check::Lifecycle, "creation failed: " + err + " (" + c.where + ")");
            return;
        }
        watch_ = std::make_unique<Watch>(pins_);
        inst_->host().setListener(watch_.get());
        const size_t n = pins_.size();
        buffers_.resize(n);
        inputCopy_.resize(n);
        inStreaming_.assign(n, false);
        inConst_.assign(n, 0.0f);
        inChanges_.resize(n);
        outState_.assign(n, -1);
        hold_.assign(n, 0.0f);
        holdValid_.assign(n, false);
        peak_.assign(n, 0.0f);
        blobInSize_.assign(n, 0);
        for (size_t p = 0; p < n; ++p) {
            if (pins_[p].datatype != mp::PIN_TYPE_AUDIO) continue;
            buffers_[p].assign(static_cast<size_t>(c.hostBlock + kGuard), sentinel());
            if (pins_[p].direction == mp::PIN_DIR_IN) {
                inConst_[p] = static_cast<float>(pins_[p].defaultValue);
                inChanges_[p].reserve(512);
                inputCopy_[p].resize(buffers_[p].size());
            }
        }
        events_.reserve(512);
    }

    bool alive() const { return inst_ != nullptr; }

    bool open() {
        auto* pl = inst_->plugin();
        if (pl->AddRef() != 2 || pl->Release() != 1) {
            c_.result.fail(Check::Lifecycle,
                           "AddRef/Release do not count from 1 (" + c_.where + ")");
        }
        void* unk = nullptr;
        if (pl->QueryInterface(mp::kIID_IMpPlugin2, &unk) != mp::MP_OK || unk == nullptr) {
            c_.result.fail(Check::Lifecycle,
                           "QueryInterface(IMpPlugin2) failed (" + c_.where + ")");
        } else {
            static_cast<mp::IMpUnknown*>(unk)->Release();
        }
        const int32_t r = inst_->open();
        if (r != mp::MP_OK) {
            c_.result.fail(Check::Lifecycle,
                           "open returned " + std::to_string(r) + " (" + c_.where + ")");
        }
        for (size_t p = 0; p < pins_.size(); ++p) {
            if (pins_[p].datatype != mp::PIN_TYPE_AUDIO) continue;
            const int32_t b = inst_->bindBuffer(static_cast<int32_t>(p), buffers_[p].data());
            if (b != mp::MP_OK) {
                c_.result.fail(Check::Lifecycle, "bindBuffer(" + std::to_string(p) + ") returned " +
                                                     std::to_string(b) + " (" + c_.where + ")");
            }
        }
        float scratch[4] = {};
        const int32_t beyond = static_cast<int32_t>(pins_.size()) + 3;
        if (inst_->bindBuffer(beyond, scratch) != mp::MP_FAIL) {
            c_.result.fail(Check::Lifecycle, "bindBuffer accepted pin " + std::to_string(beyond) +
                                                 ", which does not exist (" + c_.where + ")");
        }
        opened_ = true;
        return true;
    }

    // One block of the host's life. Returns false when the block was skipped
    // (the instance sleeps and the host has nothing for it).
    void block(int32_t blockIndex) {
        Rng& r = c_.rng;
        const int32_t B = c_.hostBlock;
        int32_t n;
        const int32_t pickCount = r.range(0, 9);
        if (pickCount < 4) {
            n = B;
        } else if (pickCount == 4) {
            n = 0;
        } else {
            n = r.range(1, B);
        }
        plan(n, blockIndex == 0);
        if (asleep_ && events_.empty() && r.chance(0.5)) return;  // a host leaves it asleep
        runBlock(n);
    }

    const std::string& id() const { return c_.desc.id; }

private:
    // ------------------------------------------------------------ planning
    int32_t pickTime(int32_t n, int32_t prev) {
        Rng& r = c_.rng;
        const int32_t k = r.range(0, 19);
        if (k < 3) return 0;
        if (k < 6) return n;  // exactly at the block length: not for this block
        if (k < 10 && prev >= 0) return prev;
        return r.range(0, n);
    }

    std::vector<unsigned char> valueBytes(const PinDesc& p) {
        Rng& r = c_.rng;
        std::vector<unsigned char> b;
        auto put = [&b](const void* v, size_t size) {
            const auto* q = static_cast<const unsigned char*>(v);
            b.assign(q, q + size);
        };
        const bool wild = c_.dirty && r.chance(0.25);
        switch (p.datatype) {
            case mp::PIN_TYPE_FLOAT: {
                float v = r.chance(0.2) ? static_cast<float>(p.defaultValue) : ordinaryFloat(r);
                if (wild) v = specialFloat(r);
                put(&v, 4);
                break;
            }
            case mp::PIN_TYPE_INT:
            case mp::PIN_TYPE_ENUM: {
                int32_t v = r.chance(0.2) ? static_cast<int32_t>(p.defaultValue) : r.range(-1, 8);
                if (wild) {
                    static const std::vector<int32_t> w = {INT_MIN, INT_MAX, -1000000,
                                                           1000000, 65536,   -2};
                    v = r.chance(0.3) ? static_cast<int32_t>(r.u32()) : r.pick(w);
                }
                put(&v, 4);
                break;
            }
            case mp::PIN_TYPE_BOOL: {
                if (r.chance(0.5)) {
                    const unsigned char v = r.chance(0.8) ? r.range(0, 1) : 255;
                    put(&v, 1);
                } else {
                    const int32_t v = r.chance(0.8) ? r.range(0, 1) : 256;
                    put(&v, 4);
                }
                break;
            }
            case mp::PIN_TYPE_BLOB: {
                static const std::vector<int32_t> sizes = {0,    1,    3, 6,  8,  8193,
                                                           4100, 4096, 4, 16, 40, 400};
                int32_t size = r.pick(sizes);
                if (r.chance(0.3)) size = 4 * r.range(0, 64);
                b.resize(static_cast<size_t>(size));
                for (int32_t i = 0; i + 4 <= size; i += 4) {
                    const float v = wild ? fromBits(r.u32()) : r.signedUnit();
                    std::memcpy(&b[static_cast<size_t>(i)], &v, 4);
                }
                for (int32_t i = size & ~3; i < size; ++i)
                    b[static_cast<size_t>(i)] = r.u32() & 0xFF;
                break;
            }
            default:
                break;
        }
        // A value of the wrong size for its pin.
        if (wild && p.datatype != mp::PIN_TYPE_BLOB && r.chance(0.2)) {
            b.resize(static_cast<size_t>(r.range(0, 8)), 0x5A);
        }
        return b;
    }

    void plan(int32_t n, bool first) {
        Rng& r = c_.rng;
        events_.clear();
        std::vector<int32_t> controlIns, audioIns;
        for (size_t p = 0; p < pins_.size(); ++p) {
            if (pins_[p].direction != mp::PIN_DIR_IN) continue;
            (pins_[p].datatype == mp::PIN_TYPE_AUDIO ? audioIns : controlIns)
                .push_back(static_cast<int32_t>(p));
        }
        if (first) {
            // What a host sends first: values, streaming states, graph start.
            for (int32_t p : controlIns) {
                const PinDesc& d = pins_[p];
                std::vector<unsigned char> b;
                if (d.datatype == mp::PIN_TYPE_BLOB) {
                    b.resize(d.defaultBlob.size() * 4);
                    if (!b.empty()) std::memcpy(b.data(), d.defaultBlob.data(), b.size());
                } else if (d.datatype == mp::PIN_TYPE_FLOAT) {
                    const float v = static_cast<float>(d.defaultValue);
                    b.resize(4);
                    std::memcpy(b.data(), &v, 4);
                } else if (d.datatype == mp::PIN_TYPE_BOOL) {
                    b.assign(1, d.defaultValue != 0.0 ? 1 : 0);
                } else {
                    const int32_t v = static_cast<int32_t>(d.defaultValue);
                    b.resize(4);
                    std::memcpy(b.data(), &v, 4);
                }
                events_.push_back(Planned{0, mp::EVENT_PIN_SET, p, std::move(b)});
            }
            for (int32_t p : audioIns) {
                events_.push_back(Planned{
                    0,
                    r.chance(0.7) ? mp::EVENT_PIN_STREAMING_START : mp::EVENT_PIN_STREAMING_STOP,
                    p,
                    {}});
            }
            events_.push_back(Planned{0, mp::EVENT_GRAPH_START, -1, {}});
        }
        // No graph start in the storm: it makes every output report streaming
        // whatever it holds, and hosts send it once, first.
        const int32_t storm = r.chance(0.3) ? r.range(4, c_.opt.quick ? 16 : 48) : r.range(0, 3);
        int32_t prev = -1;
        for (int32_t k = 0; k < storm; ++k) {
            const int32_t t = pickTime(n, prev);
            prev = t;
            const int32_t kind = r.range(0, 99);
            if (kind < 55 && !controlIns.empty()) {
                const int32_t p = r.pick(controlIns);
                events_.push_back(Planned{t, mp::EVENT_PIN_SET, p, valueBytes(pins_[p])});
            } else if (kind < 88 && !audioIns.empty()) {
                const int32_t p = r.pick(audioIns);
                const bool on = r.chance(0.5);
                events_.push_back(Planned{
                    t, on ? mp::EVENT_PIN_STREAMING_START : mp::EVENT_PIN_STREAMING_STOP, p, {}});
                if (r.chance(0.15)) {  // start and stop at one time stamp: a new constant
                    events_.push_back(Planned{t, mp::EVENT_PIN_STREAMING_START, p, {}});
                    events_.push_back(Planned{t, mp::EVENT_PIN_STREAMING_STOP, p, {}});
                }
            } else if (kind >= 92) {
                // What a host should not send but might: unknown pins, MIDI for
                // pins that take none, types no pin handles, kinds mismatched.
                const int32_t np = static_cast<int32_t>(pins_.size());
                static const std::vector<int32_t> types = {
                    mp::EVENT_PIN_SET, mp::EVENT_MIDI, mp::EVENT_PIN_STREAMING_START, 0, 105, -7};
                const int32_t type = r.pick(types);
                int32_t pin = r.range(-2, np + 2);
                std::vector<unsigned char> b;
                if (type == mp::EVENT_PIN_SET) {
                    // Values only for pins that are not plain inputs of another kind.
                    if (pin >= 0 && pin < np && pins_[pin].direction == mp::PIN_DIR_IN &&
                        pins_[pin].datatype != mp::PIN_TYPE_AUDIO)
                        pin = np + 5;
                    b.resize(static_cast<size_t>(r.range(0, 8)), 0x33);
                } else if (type == mp::EVENT_PIN_STREAMING_START) {
                    if (pin >= 0 && pin < np && pins_[pin].direction == mp::PIN_DIR_IN &&
                        pins_[pin].datatype == mp::PIN_TYPE_AUDIO)
                        pin = np + 5;
                } else {
                    b.resize(static_cast<size_t>(r.range(0, 3)), 0x90);
                }
                events_.push_back(Planned{t, type, pin, std::move(b)});
            }
        }
        std::stable_sort(events_.begin(), events_.end(),
                         [](const Planned& a, const Planned& b) { return a.time < b.time; });
    }

    float streamSample() {
        Rng& r = c_.rng;
        if (c_.dirty && r.chance(0.01)) return specialFloat(r);
        if (r.chance(0.05)) return ordinaryFloat(r);
        return r.signedUnit();
    }

    // ------------------------------------------------------------- running
    void runBlock(int32_t n) {
        Rng& r = c_.rng;
        const int32_t np = static_cast<int32_t>(pins_.size());
        // Apply the plan to the host's model of the inputs.
        bool blobResize = false;
        int32_t lastGroup = 0;
        for (auto& v : inChanges_) v.clear();
        for (const Planned& e : events_) {
            const bool applied = e.time < n || n == 0;
            if (!applied) continue;
            lastGroup = e.time;
            if (e.pin < 0 || e.pin >= np) continue;
            const PinDesc& d = pins_[e.pin];
            if (d.direction != mp::PIN_DIR_IN) {
                // A value sent to a blob output may resize the output's blob.
                if (d.datatype == mp::PIN_TYPE_BLOB && e.type == mp::EVENT_PIN_SET)
                    blobResize = true;
                continue;
            }
            if (d.datatype == mp::PIN_TYPE_AUDIO && (e.type == mp::EVENT_PIN_STREAMING_START ||
                                                     e.type == mp::EVENT_PIN_STREAMING_STOP)) {
                const bool on = e.type == mp::EVENT_PIN_STREAMING_START;
                float k = inConst_[e.pin];
                if (!on) k = c_.dirty && r.chance(0.1) ? specialFloat(r) : ordinaryFloat(r);
                inChanges_[e.pin].push_back(InChange{e.time, on, k});
            } else if (d.datatype == mp::PIN_TYPE_BLOB && e.type == mp::EVENT_PIN_SET) {
                const int64_t size = static_cast<int64_t>(e.bytes.size());
                if (size != blobInSize_[e.pin]) blobResize = true;
                blobInSize_[e.pin] = size;
            }
        }
        // Input samples: random while streaming, one constant while not.
        for (int32_t p = 0; p < np; ++p) {
            if (pins_[p].datatype != mp::PIN_TYPE_AUDIO) continue;
            float* buf = buffers_[p].data();
            const size_t size = buffers_[p].size();
            if (pins_[p].direction == mp::PIN_DIR_OUT) {
                std::fill(buf, buf + size, sentinel());
                continue;
            }
            const auto& ch = inChanges_[p];
            size_t next = 0;
            bool on = inStreaming_[p];
            float k = inConst_[p];
            for (int32_t i = 0; i < n; ++i) {
                while (next < ch.size() && ch[next].time <= i) {
                    on = ch[next].streaming;
                    k = ch[next].constant;
                    ++next;
                }
                buf[i] = on ? streamSample() : k;
            }
            while (next < ch.size()) {
                on = ch[next].streaming;
                k = ch[next].constant;
                ++next;
            }
            // Past the block the host's buffer holds whatever it held.
            for (size_t i = static_cast<size_t>(n); i < size; ++i) buf[i] = k;
            inStreaming_[p] = on;
            inConst_[p] = k;
            std::copy(buf, buf + size, inputCopy_[p].begin());
        }
        list_.clear();
        for (const Planned& e : events_) {
            list_.add(e.time, e.type, e.pin, e.bytes.empty() ? nullptr : e.bytes.data(),
                      static_cast<int32_t>(e.bytes.size()));
        }
        const mp::MpEvent* head = list_.head();

        watch_->begin(n);
        const long before = c_.opt.allocationCount ? c_.opt.allocationCount() : 0;
        inst_->process(n, head);
        const long allocated = c_.opt.allocationCount ? c_.opt.allocationCount() - before : 0;
        ++c_.result.blocks;
        ++blocks_;

        std::string at = c_.where + ", block " + std::to_string(blocks_) + " of " +
                         std::to_string(n) + " samples";
        if (allocated > 0 && !blobResize && !watch_->blobOutResized) {
            c_.result.fail(Check::Allocation, std::to_string(allocated) +
                                                  " allocation(s) in processBlock (" + at + ")");
        }
        if (watch_->badOffsets > 0) {
            c_.result.fail(Check::Streaming, "report at an offset outside the block (" + at + ")");
        }
        if (watch_->badPins > 0) {
            c_.result.fail(Check::Streaming,
                           "report for a pin that is not an output of that kind (" + at + ")");
        }
        checkOutputs(n, lastGroup, at);
        asleep_ = watch_->sleeps > 0;
    }

    static bool same(float a, float b) {
        if (std::isnan(a) && std::isnan(b)) return true;
        if (a == b) return true;
        const float tol = 1e-4f + 1e-4f * std::fabs(b);
        return std::fabs(a - b) <= tol;
    }

    void checkOutputs(int32_t n, int32_t lastGroup, const std::string& at) {
        const bool slept = watch_->sleeps > 0;
        auto& reports = watch_->reports;
        std::stable_sort(
            reports.begin(), reports.end(),
            [](const Watch::Report& a, const Watch::Report& b) { return a.offset < b.offset; });
        for (size_t p = 0; p < pins_.size(); ++p) {
            if (pins_[p].datatype != mp::PIN_TYPE_AUDIO) continue;
            const float* buf = buffers_[p].data();
            const std::string pin = "pin " + std::to_string(p) + " (" + pins_[p].name + ")";
            if (pins_[p].direction == mp::PIN_DIR_IN) {
                if (!std::equal(inputCopy_[p].begin(), inputCopy_[p].end(), buffers_[p].begin(),
                                [](float a, float b) { return std::memcmp(&a, &b, 4) == 0; })) {
                    c_.result.fail(Check::Writes, "wrote into input " + pin + " (" + at + ")");
                }
                continue;
            }
            // Computed samples form a prefix; a sleeping instance may leave
            // the rest of its last span alone.
            int32_t end = 0;
            while (end < n && !isSentinel(buf[end])) ++end;
            for (int32_t i = end; i < n; ++i) {
                if (!isSentinel(buf[i])) {
                    c_.result.fail(Check::Writes, "sample " + std::to_string(end) + " of " + pin +
                                                      " left unwritten amid written ones (" + at +
                                                      ")");
                    break;
                }
            }
            if (end < n && !slept) {
                c_.result.fail(Check::Writes, "sample " + std::to_string(end) + " of " + pin +
                                                  " left unwritten without a sleep request (" + at +
                                                  ")");
            } else if (end < n && end < lastGroup) {
                c_.result.fail(Check::Writes, "slept at sample " + std::to_string(end) + " of " +
                                                  pin + ", before its last event at " +
                                                  std::to_string(lastGroup) + " (" + at + ")");
            }
            for (size_t i = static_cast<size_t>(n); i < buffers_[p].size(); ++i) {
                if (!isSentinel(buf[i])) {
                    c_.result.fail(Check::Writes, "wrote sample " + std::to_string(i) + " of " +
                                                      pin + ", past the block (" + at + ")");
                    break;
                }
            }
            // A feedback loop the module's arithmetic lets grow reaches
            // infinity through huge values; anything else that turns finite
            // input into NaN or infinity is a fault.
            for (int32_t i = 0; i < end; ++i) {
                const float a = std::fabs(buf[i]);
                if (std::isfinite(a)) {
                    if (a > peak_[p]) peak_[p] = a;
                } else if (!c_.dirty && peak_[p] < 1e15f) {
                    c_.result.fail(Check::NonFinite, describe(buf[i]) + " at sample " +
                                                         std::to_string(i) + " of " + pin +
                                                         " from finite input (" + at + ")");
                    break;
                }
            }
            // Streaming reports against the samples.
            size_t next = 0;
            bool reported = false;
            auto apply = [&](int32_t upTo) {
                for (; next < reports.size() && reports[next].offset <= upTo; ++next) {
                    if (reports[next].pin != static_cast<int32_t>(p)) continue;
                    outState_[p] = reports[next].streaming ? 1 : 0;
                    holdValid_[p] = false;
                }
            };
            for (int32_t i = 0; i < end; ++i) {
                apply(i);
                if (outState_[p] != 0) continue;
                if (!holdValid_[p]) {
                    hold_[p] = buf[i];
                    holdValid_[p] = true;
                } else if (!same(buf[i], hold_[p]) && !reported) {
                    reported = true;
                    c_.result.fail(Check::Streaming, pin + " reported not streaming changes from " +
                                                         describe(hold_[p]) + " to " +
                                                         describe(buf[i]) + " at sample " +
                                                         std::to_string(i) + " (" + at + ")");
                }
            }
            apply(INT_MAX);
            if (slept && outState_[p] == 1) {
                c_.result.fail(Check::Streaming, "asked to sleep while " + pin +
                                                     " is reported streaming (" + at + ")");
            }
        }
    }

    Context& c_;
    std::vector<PinDesc> pins_;
    std::unique_ptr<Instance> inst_;
    std::unique_ptr<Watch> watch_;
    std::vector<std::vector<float>> buffers_, inputCopy_;
    std::vector<bool> inStreaming_;
    std::vector<float> inConst_;
    std::vector<std::vector<InChange>> inChanges_;
    std::vector<int8_t> outState_;
    std::vector<float> hold_;
    std::vector<bool> holdValid_;
    std::vector<float> peak_;
    std::vector<int64_t> blobInSize_;
    std::vector<Planned> events_;
    EventList list_{1024, 1 << 20};
    bool opened_ = false;
    bool asleep_ = false;
    int64_t blocks_ = 0;
};

std::vector<float> defaultRates(bool quick) {
    if (quick) return {8000.0f, 44100.0f, 192000.0f};
    return {8000.0f, 11025.0f, 22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f};
}

// ------------------------------------------------------------- isolation

void writeAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t w = ::write(fd, s.data() + done, s.size() - done);
        if (w <= 0) return;
        done += static_cast<size_t>(w);
    }
}

std::string serialise(const ModuleResult& r) {
    std::ostringstream s;
    s << "blocks " << r.blocks << "\n";
    for (int i = 0; i < kCheckCount; ++i) {
        s << "check " << i << " " << (r.ran[i] ? 1 : 0) << " " << r.failures[i] << "\n";
    }
    for (std::string note : r.notes) {
        std::replace(note.begin(), note.end(), '\n', ' ');
        s << "note " << note << "\n";
    }
    s << "end\n";
    return s.str();
}

bool deserialise(const std::string& text, ModuleResult* r) {
    std::istringstream in(text);
    std::string word;
    bool complete = false;
    while (in >> word) {
        if (word == "blocks") {
            in >> r->blocks;
        } else if (word == "check") {
            int i = 0, ran = 0;
            int64_t f = 0;
            in >> i >> ran >> f;
            if (i >= 0 && i < kCheckCount) {
                r->ran[i] = r->ran[i] || ran != 0;
                r->failures[i] += f;
            }
        } else if (word == "note") {
            std::string note;
            std::getline(in, note);
            if (!note.empty() && note[0] == ' ') note.erase(0, 1);
            r->notes.push_back(note);
        } else if (word == "end") {
            complete = true;
        }
    }
    return complete;
}

ModuleResult runIsolated(const std::string& id, bool guiHalf,
                         const std::function<ModuleResult()>& body) {
    ModuleResult result;
    result.id = id;
    result.guiHalf = guiHalf;
    result.ran[static_cast<int>(Check::Crash)] = true;
    int fds[2];
    std::fflush(nullptr);
    if (::pipe(fds) != 0) return body();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return body();
    }
    if (pid == 0) {
        ::close(fds[0]);
        ModuleResult r = body();
#ifdef ZDSP_VALIDATE_LSAN
        if (__lsan_do_recoverable_leak_check() != 0)
            r.fail(Check::Lifecycle, "memory leaked (see the leak report above)");
#endif
        writeAll(fds[1], serialise(r));
        ::close(fds[1]);
        std::fflush(nullptr);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ModuleResult child;
    const bool complete = deserialise(text, &child);
    child.id = id;
    child.guiHalf = guiHalf;
    child.ran[static_cast<int>(Check::Crash)] = true;
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string why;
        if (WIFSIGNALED(status)) {
            why = std::string("killed by signal ") + std::to_string(WTERMSIG(status)) + " (" +
                  strsignal(WTERMSIG(status)) + ")";
        } else if (WIFEXITED(status)) {
            why = "exited with status " + std::to_string(WEXITSTATUS(status)) +
                  " (a sanitizer report above says why)";
        } else {
            why = "ended abnormally";
        }
        child.fail(Check::Crash, why + " after " + std::to_string(child.blocks) + " block(s)");
    }
    return child;
}

// ------------------------------------------------------------------- GUI

std::u16string randomColourText(Rng& r) {
    static const std::vector<std::string> texts = {
        "",          "#",        "#FFF",  "FF00FF",     "#FF00FF",    "#80FF00FF", "#GG0000",
        "#12345678", "0x00FF00", "#-1",   "#fffffffff", "   #00FF00", "#00FF00  ", "red",
        "#7fffffff", "FFFFFFFF", "#ffff", "##",         "#0",         "12"};
    if (r.chance(0.8)) return toU16(r.pick(texts));
    std::u16string s;
    const int32_t len = r.chance(0.1) ? r.range(100, 2000) : r.range(0, 12);
    for (int32_t i = 0; i < len; ++i) {
        s.push_back(r.chance(0.7) ? static_cast<char16_t>(r.range(32, 126))
                                  : static_cast<char16_t>(r.u32() & 0xFFFF));
    }
    return s;
}

std::vector<unsigned char> randomGuiValue(Rng& r, int32_t datatype) {
    std::vector<unsigned char> b;
    switch (datatype) {
        case mp::PIN_TYPE_STRING: {
            const std::u16string s = randomColourText(r);
            b.resize(s.size() * 2);
            if (!b.empty()) std::memcpy(b.data(), s.data(), b.size());
            if (r.chance(0.05)) b.push_back(0x41);  // an odd byte count
            break;
        }
        case mp::PIN_TYPE_FLOAT: {
            static const std::vector<float> v = {0.0f, 1.0f, 5.0f, -1.0f, 200.0f, 1e6f, 0.5f};
            const float f = r.chance(0.3) ? specialFloat(r) : r.pick(v);
            b.resize(4);
            std::memcpy(b.data(), &f, 4);
            break;
        }
        case mp::PIN_TYPE_INT:
        case mp::PIN_TYPE_ENUM:
        case mp::PIN_TYPE_BOOL: {
            const int32_t v = r.chance(0.5) ? r.range(-2, 10) : static_cast<int32_t>(r.u32());
            b.resize(datatype == mp::PIN_TYPE_BOOL && r.chance(0.5) ? 1 : 4);
            std::memcpy(b.data(), &v, b.size());
            break;
        }
        default: {  // blobs, and pins the catalog does not describe
            static const std::vector<int32_t> sizes = {0, 1, 3, 6, 8, 16, 8193, 4100, 8000, 800};
            const int32_t size = r.chance(0.3) ? 8 * r.range(0, 3000) : r.pick(sizes);
            b.resize(static_cast<size_t>(size));
            const bool wild = r.chance(0.3);
            for (int32_t i = 0; i + 4 <= size; i += 4) {
                const float v = wild ? fromBits(r.u32()) : r.signedUnit() * 1.2f;
                std::memcpy(&b[static_cast<size_t>(i)], &v, 4);
            }
            break;
        }
    }
    return b;
}

}  // namespace

// ------------------------------------------------------------------ public

const char* checkName(Check c) {
    switch (c) {
        case Check::Crash:
            return "crash";
        case Check::Lifecycle:
            return "life";
        case Check::Allocation:
            return "alloc";
        case Check::Writes:
            return "writes";
        case Check::Streaming:
            return "stream";
        case Check::NonFinite:
            return "finite";
        case Check::Gui:
            return "gui";
    }
    return "?";
}

bool ModuleResult::ok() const {
    for (int64_t f : failures)
        if (f != 0) return false;
    return true;
}

void ModuleResult::fail(Check c, const std::string& note) {
    ++failures[static_cast<int>(c)];
    ran[static_cast<int>(c)] = true;
    if (notes.size() < kMaxNotes) notes.push_back(std::string(checkName(c)) + ": " + note);
}

bool ValidateReport::ok() const {
    for (const ModuleResult& r : rows)
        if (!r.ok()) return false;
    return true;
}

ModuleResult validateDsp(const Library& lib, const ModuleDesc& desc, const ValidateOptions& opt) {
    ModuleResult result;
    result.id = desc.id;
    for (Check c : {Check::Lifecycle, Check::Writes, Check::Streaming, Check::NonFinite}) {
        result.ran[static_cast<int>(c)] = true;
    }
    if (opt.allocationCount) result.ran[static_cast<int>(Check::Allocation)] = true;

    Rng rng(opt.seed ^ hashId(desc.id));
    const std::vector<float> rates = opt.rates.empty() ? defaultRates(opt.quick) : opt.rates;
    const int32_t cycles = opt.cycles > 0 ? opt.cycles : (opt.quick ? 40 : 200);
    // One store for the whole run: instances at one rate share their tables.
    SharedTableStore tables;
    static const std::vector<int32_t> blockSizes = {1, 2, 3, 16, 64, 100, 256, 1024, 4096};

    for (int32_t cycle = 0; cycle < cycles; ++cycle) {
        Context c{lib, desc, opt, tables, result, rng, 48000.0f, 64, false, std::string()};
        c.rate = rates[static_cast<size_t>(cycle) % rates.size()];
        c.hostBlock = rng.chance(0.7) ? rng.pick(blockSizes) : rng.range(1, kMaxBlock);
        c.dirty = rng.chance(0.5);
        c.where = "rate " + describe(c.rate) + ", host block " + std::to_string(c.hostBlock) +
                  ", cycle " + std::to_string(cycle) + (c.dirty ? ", wild input" : "");
        const int32_t count = rng.range(1, 3);
        std::vector<std::unique_ptr<Sim>> sims;
        for (int32_t k = 0; k < count; ++k) {
            const int32_t extra = desc.variableInputs ? rng.range(0, 6) : 0;
            auto s = std::make_unique<Sim>(c, extra);
            if (!s->alive()) continue;
            // Now and then a host drops an instance it never opened or ran.
            const int32_t fate = rng.range(0, 19);
            if (fate == 0) continue;
            s->open();
            if (fate == 1) continue;
            sims.push_back(std::move(s));
        }
        // Interleaved: the instances take turns, block by block.
        const int32_t blocks = rng.range(1, opt.quick ? 6 : 12);
        for (int32_t b = 0; b < blocks; ++b) {
            for (auto& s : sims) s->block(b);
        }
        // Released in a random order.
        while (!sims.empty()) {
            const size_t k =
                static_cast<size_t>(rng.range(0, static_cast<int32_t>(sims.size()) - 1));
            sims.erase(sims.begin() + static_cast<std::ptrdiff_t>(k));
        }
    }
    return result;
}

ModuleResult validateGui(const Library& lib, const std::string& id, const ValidateOptions& opt) {
    ModuleResult result;
    result.id = id;
    result.guiHalf = true;
    result.ran[static_cast<int>(Check::Lifecycle)] = true;
    result.ran[static_cast<int>(Check::Gui)] = true;
    Rng rng(opt.seed ^ hashId(id) ^ 0x6775690000000000ull);
    const int32_t cycles = opt.cycles > 0 ? std::max(1, opt.cycles / 4) : (opt.quick ? 3 : 40);
    const int32_t rounds = opt.quick ? 25 : 80;
    for (int32_t cycle = 0; cycle < cycles; ++cycle) {
        std::string err;
        const float w0 = static_cast<float>(rng.range(1, 600));
        const float h0 = static_cast<float>(rng.range(1, 400));
        auto view = GuiView::create(lib, id, w0, h0, &err);
        if (!view) {
            result.fail(Check::Lifecycle, "creation failed: " + err);
            return result;
        }
        const GuiModuleDesc* desc = view->desc();
        const int32_t npins = desc ? static_cast<int32_t>(desc->pins.size()) : 0;
        for (int32_t round = 0; round < rounds; ++round) {
            const std::string at =
                "cycle " + std::to_string(cycle) + ", round " + std::to_string(round);
            const int32_t op = rng.range(0, 9);
            if (op < 5) {
                const int32_t pin = rng.range(-2, npins + 2);
                const int32_t type = pin >= 0 && pin < npins ? desc->pins[pin].datatype : -1;
                const auto bytes = randomGuiValue(rng, type);
                const int32_t r = view->setPin(pin, bytes);
                if (pin >= 0 && pin < npins && r != mp::MP_OK) {
                    result.fail(Check::Gui,
                                "set pin " + std::to_string(pin) + " refused (" + at + ")");
                }
            } else if (op == 5) {
                static const std::vector<float> sizes = {0.0f, 0.5f,  1.0f,   2.0f,
                                                         3.0f, 17.0f, 640.0f, 1500.0f};
                float w = rng.chance(0.5) ? rng.pick(sizes) : static_cast<float>(rng.range(1, 800));
                float h = rng.chance(0.5) ? rng.pick(sizes) : static_cast<float>(rng.range(1, 500));
                if (rng.chance(0.05)) w = std::numeric_limits<float>::quiet_NaN();
                if (rng.chance(0.05)) h = -5.0f;
                view->layout(static_cast<float>(rng.range(-10, 10)), 0.0f, w, h);
            } else if (op == 6) {
                const auto bytes = randomGuiValue(rng, -1);
                const int32_t size = rng.chance(0.7)
                                         ? static_cast<int32_t>(std::min<size_t>(bytes.size(), 8))
                                         : static_cast<int32_t>(bytes.size());
                view->deliverMessage(rng.range(-1, 3), size,
                                     bytes.empty() ? nullptr : bytes.data());
            } else {
                view->render();
                ++result.blocks;
            }
        }
        view->layout(0.0f, 0.0f, 64.0f, 48.0f);
        if (!view->render()) result.fail(Check::Gui, "render at 64 x 48 failed");
        ++result.blocks;
    }
    return result;
}

bool validateLibrary(const Library& lib, const std::vector<std::string>& ids,
                     const ValidateOptions& options, ValidateReport* report, std::string* error) {
    const PinCatalog& catalog = PinCatalog::global();
    std::vector<const ModuleDesc*> modules;
    if (ids.empty()) {
        modules = catalog.modules();
    } else {
        for (const std::string& id : ids) {
            const ModuleDesc* d = catalog.find(id);
            if (d == nullptr) {
                const std::string hint = catalog.suggest(id);
                *error = "\"" + id + "\": unknown module" +
                         (hint.empty() ? std::string() : " (did you mean \"" + hint + "\"?)");
                return false;
            }
            modules.push_back(d);
        }
    }
    report->seed = options.seed;
    report->rows.clear();
    for (const ModuleDesc* d : modules) {
        auto dsp = [&] { return validateDsp(lib, *d, options); };
        report->rows.push_back(options.isolate ? runIsolated(d->id, false, dsp) : dsp());
        if (options.gui && d->hasGui) {
            auto gui = [&] { return validateGui(lib, d->id, options); };
            report->rows.push_back(options.isolate ? runIsolated(d->id, true, gui) : gui());
        }
    }
    return true;
}

void printReport(std::ostream& out, const ValidateReport& report) {
    size_t width = 6;
    for (const ModuleResult& r : report.rows) width = std::max(width, r.id.size());
    out << std::left << std::setw(static_cast<int>(width) + 2) << "module"
        << "half ";
    for (int i = 0; i < kCheckCount; ++i) out << std::setw(7) << checkName(static_cast<Check>(i));
    out << std::setw(9) << "blocks"
        << "result\n";
    int failed = 0;
    for (const ModuleResult& r : report.rows) {
        out << std::setw(static_cast<int>(width) + 2) << r.id << (r.guiHalf ? "GUI  " : "DSP  ");
        for (int i = 0; i < kCheckCount; ++i) {
            std::string cell = "-";
            if (r.failures[i] != 0) {
                cell = std::to_string(r.failures[i]);
            } else if (r.ran[i]) {
                cell = "ok";
            }
            out << std::setw(7) << cell;
        }
        out << std::setw(9) << r.blocks << (r.ok() ? "PASS" : "FAIL") << "\n";
        if (!r.ok()) ++failed;
    }
    for (const ModuleResult& r : report.rows) {
        if (r.ok()) continue;
        out << "\n" << r.id << (r.guiHalf ? " (GUI)" : "") << ":\n";
        for (const std::string& n : r.notes) out << "  " << n << "\n";
    }
    out << "\n"
        << (failed == 0 ? "all " + std::to_string(report.rows.size()) + " rows passed"
                        : std::to_string(failed) + " of " + std::to_string(report.rows.size()) +
                              " rows failed")
        << " (seed " << report.seed << ")\n";
}

}  // namespace zhost
