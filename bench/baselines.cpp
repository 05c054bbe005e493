#include "bench/baselines.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "framework/mp_api.h"

namespace zbench {

namespace {

using Bufs = std::vector<std::vector<float>>;

// Each loop keeps its state in members, copies it into locals for the block
// and back, as a careful hand-written DSP loop would.

struct DcBlocker final : Loop {
    const float* in;
    float* out;
    float r = 0.995f, x1 = 0.0f, y1 = 0.0f;
    explicit DcBlocker(Bufs& b) : in(b[0].data()), out(b[2].data()) {}
    void run(int32_t n) override {
        float a = x1, b = y1;
        for (int32_t i = 0; i < n; ++i) {
            const float x = in[i];
            const float y = r * b + (x - a);
            out[i] = y;
            a = x;
            b = y;
        }
        x1 = a;
        y1 = b;
    }
};

struct Derivator final : Loop {
    const float* in;
    float* out;
    float x1 = 0.0f;
    explicit Derivator(Bufs& b) : in(b[0].data()), out(b[1].data()) {}
    void run(int32_t n) override {
        float a = x1;
        for (int32_t i = 0; i < n; ++i) {
            const float x = in[i];
            out[i] = x - a;
            a = x;
        }
        x1 = a;
    }
};

struct Integrator final : Loop {
    const float *in, *leak;
    float* out;
    float y1 = 0.0f;
    explicit Integrator(Bufs& b) : in(b[0].data()), leak(b[1].data()), out(b[2].data()) {}
    void run(int32_t n) override {
        float y = y1;
        for (int32_t i = 0; i < n; ++i) {
            const float c = leak[i];
            const float held = c < -1.0f ? -y : (c > 1.0f ? y : c * y);
            y = held + in[i];
            out[i] = y;
        }
        y1 = y;
    }
};

struct Averaging final : Loop {
    const float* in;
    float* out;
    double sum = 0.0, count = 0.0;
    explicit Averaging(Bufs& b) : in(b[0].data()), out(b[2].data()) {}
    void run(int32_t n) override {
        double s = sum, c = count;
        for (int32_t i = 0; i < n; ++i) {
            s += static_cast<double>(in[i]);
            c += 1.0;
            out[i] = static_cast<float>(s / c);
        }
        sum = s;
        count = c;
    }
};

struct CombFlt final : Loop {
    static constexpr int32_t kMax = 5000, kSize = 5001;
    const float *in, *delay, *feedback;
    float* out;
    float line[kSize] = {};
    int32_t w = 0, quiet = 0;
    float s = 0.0f;
    explicit CombFlt(Bufs& b)
        : in(b[0].data()), delay(b[1].data()), feedback(b[3].data()), out(b[4].data()) {}
    void run(int32_t count) override {
        const float r = 0.001f * 48000.0f;
        int32_t wp = w, q = quiet;
        float st = s;
        for (int32_t n = 0; n < count; ++n) {
            const float x = in[n];
            const float t = r / (10.0f * delay[n]);
            float f = feedback[n];
            if (f > 1.0f) {
                f = 1.0f;
            } else if (f < -1.0f) {
                f = -1.0f;
            } else if (f != f) {
                f = 0.0f;
            }
            int32_t u;
            float v;
            if (!(t >= 1.0f)) {
                u = 1;
                v = 1.0f;
            } else if (t > static_cast<float>(kMax)) {
                u = kMax;
                v = 1.0f;
            } else {
                u = static_cast<int32_t>(t);
                v = 1.0f - (t - static_cast<float>(u));
            }
            int32_t i = wp - u;
            if (i < 0) i += kSize;
            const int32_t older = i == 0 ? kSize - 1 : i - 1;
            st = line[older] + (line[i] - st) * v;
            const float y = (st - x) * f + x;
            out[n] = y;
            line[wp] = y;
            if (std::fabs(y) < 1e-5f) {
                if (q < kSize) ++q;
            } else {
                q = 0;
            }
            if (++wp == kSize) wp = 0;
        }
        w = wp;
        s = st;
        quiet = q;
    }
};

struct RngClp final : Loop {
    const float *in, *lo, *hi;
    float* out;
    explicit RngClp(Bufs& b)
        : in(b[0].data()), lo(b[1].data()), hi(b[2].data()), out(b[3].data()) {}
    void run(int32_t n) override {
        for (int32_t i = 0; i < n; ++i) {
            const float m = lo[i] > in[i] ? lo[i] : in[i];
            out[i] = m > hi[i] ? hi[i] : m;
        }
    }
};

struct ZeroCrossing final : Loop {
    const float* in;
    float* out;
    float prev = 0.0f;
    explicit ZeroCrossing(Bufs& b) : in(b[0].data()), out(b[2].data()) {}
    void run(int32_t n) override {
        float p = prev;
        for (int32_t i = 0; i < n; ++i) {
            const float c = in[i];
            out[i] = (p < 0.0f && c > 0.0f) ? 1.0f : 0.0f;
            p = c;
        }
        prev = p;
    }
};

struct Copy final : Loop {
    const float* in;
    float* out;
    Copy(Bufs& b, size_t outPin) : in(b[0].data()), out(b[outPin].data()) {}
    void run(int32_t n) override {
        for (int32_t i = 0; i < n; ++i) out[i] = in[i];
    }
};

struct Crusher final : Loop {
    const float* in;
    float* out;
    uint32_t mask = ~((uint32_t{1} << 24) - 1u);  // 8 bits
    float offset = 1.0f / 256.0f;
    float increment = 8000.0f / 48000.0f;
    float phase = 1.0f, held = 0.0f;
    explicit Crusher(Bufs& b) : in(b[0].data()), out(b[3].data()) {}
    void run(int32_t n) override {
        const float lsb = 4.656612873077392578125e-10f;
        const float top = static_cast<float>(mask) * lsb - 1.0f + offset;
        float ph = phase, h = held;
        for (int32_t i = 0; i < n; ++i) {
            if (ph >= 1.0f) {
                ph = ph - 1.0f;
                const float x = in[i];
                if (x <= -1.0f) {
                    h = -1.0f + offset;
                } else if (x >= 1.0f) {
                    h = top;
                } else if (x != x) {
                    h = x;
                } else {
                    int64_t k = static_cast<int64_t>((x + 1.0f) * 2147483648.0f);
                    if (k > int64_t{0xFFFFFFFF}) k = int64_t{0xFFFFFFFF};
                    k &= int64_t{mask};
                    h = static_cast<float>(k) * lsb - 1.0f + offset;
                }
            }
            out[i] = h;
            ph = ph + increment;
        }
        phase = ph;
        held = h;
    }
};

struct WhiteNoise final : Loop {
    float* out;
    uint32_t state = 1;
    explicit WhiteNoise(Bufs& b) : out(b[3].data()) {}
    void run(int32_t n) override {
        uint32_t s = state;
        for (int32_t i = 0; i < n; ++i) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            out[i] = static_cast<float>(static_cast<double>(s) * (1.0 / 4294967295.0) - 0.5);
        }
        state = s;
    }
};

struct LatencyLoop final : Loop {
    static constexpr int32_t kRing = 5001;
    const float* in;
    float* out;
    float ring[kRing] = {};
    int32_t write = 0, delay = 1000;
    explicit LatencyLoop(Bufs& b) : in(b[0].data()), out(b[2].data()) {}
    void run(int32_t n) override {
        int32_t c = write;
        for (int32_t i = 0; i < n; ++i) {
            ring[c] = in[i];
            int32_t r = c - delay;
            if (r < 0) r += kRing;
            out[i] = ring[r];
            if (++c == kRing) c = 0;
        }
        write = c;
    }
};

struct FracDelayLoop final : Loop {
    static constexpr int32_t kRing = 5001;
    const float* in;
    float* out;
    float ring[kRing] = {};
    int32_t write = 0;
    float y1 = 0.0f, delay = 100.5f;
    explicit FracDelayLoop(Bufs& b) : in(b[0].data()), out(b[2].data()) {}
    void run(int32_t count) override {
        const int32_t n = static_cast<int32_t>(delay);
        const float f = delay - static_cast<float>(n);
        const float eta = (1.0f - f) / (1.0f + f);
        int32_t c = write;
        float y = y1;
        for (int32_t i = 0; i < count; ++i) {
            ring[c] = in[i];
            int32_t r = c - n;
            if (r < 0) r += kRing;
            const int32_t r1 = r == 0 ? kRing - 1 : r - 1;
            y = ring[r1] + (ring[r] - y) * eta;
            out[i] = y;
            if (++c == kRing) c = 0;
        }
        write = c;
        y1 = y;
    }
};

// Constant-time glide (mode 0): the step is recomputed when the target moves.
inline float glideStep(float g, float p, float y, float duration, float& step) {
    if (std::isnan(y)) return g;
    if (g == y) return y;
    if (g != p) step = std::fabs((g - y) / duration);
    if (g > y) {
        const float up = y + step;
        return up < g ? up : g;
    }
    if (y > g) {
        const float down = y - step;
        return down > g ? down : g;
    }
    return y;
}

struct GliderLoop final : Loop {
    const float *target, *time, *reset;
    float* out;
    float y = 0.0f, prev = 0.0f, step = 0.0f;
    explicit GliderLoop(Bufs& b)
        : target(b[0].data()), time(b[1].data()), reset(b[3].data()), out(b[4].data()) {}
    void run(int32_t n) override {
        const float rate = 48000.0f;
        float yy = y, p = prev, st = step;
        for (int32_t i = 0; i < n; ++i) {
            const float g = target[i];
            const float t = 10.0f * time[i];
            yy = (t <= 0.0f || reset[i] >= 0.5f) ? g : glideStep(g, p, yy, t * rate, st);
            out[i] = yy;
            p = g;
        }
        y = yy;
        prev = p;
        step = st;
    }
};

struct MinMaxLoop final : Loop {
    const float* in;
    float *lo, *hi;
    float mn = 0.0f, mx = 0.0f;
    explicit MinMaxLoop(Bufs& b) : in(b[0].data()), lo(b[1].data()), hi(b[2].data()) {}
    void run(int32_t n) override {
        float a = mn, c = mx;
        for (int32_t i = 0; i < n; ++i) {
            const float x = in[i];
            if (x < a) a = x;
            if (x > c) c = x;
            lo[i] = a;
            hi[i] = c;
        }
        mn = a;
        mx = c;
    }
};

// Any number of inputs after the four outputs (the catalog's default is 2),
// walked through an array of pointers as the module must.
struct MinMaxIndexLoop final : Loop {
    std::vector<const float*> in;
    float *lo, *loIndex, *hi, *hiIndex;
    explicit MinMaxIndexLoop(Bufs& b)
        : lo(b[0].data()), loIndex(b[1].data()), hi(b[2].data()), hiIndex(b[3].data()) {
        for (size_t k = 4; k < 6; ++k) in.push_back(b[k].data());
    }
    void run(int32_t count) override {
        const float* const* x = in.data();
        const int32_t n = static_cast<int32_t>(in.size());
        for (int32_t i = 0; i < count; ++i) {
            float l = x[0][i], h = l;
            int32_t li = 0, hj = 0;
            for (int32_t k = 1; k < n; ++k) {
                const float v = x[k][i];
                if (v > h) {
                    h = v;
                    hj = k;
                }
                if (v < l) {
                    l = v;
                    li = k;
                }
            }
            lo[i] = l;
            loIndex[i] = static_cast<float>(li) * 0.1f;
            hi[i] = h;
            hiIndex[i] = static_cast<float>(hj) * 0.1f;
        }
    }
};

// Freeze while the control is high, holding the sample at the freeze.
// The output is steady while frozen and follows the (streaming) input again
// at the release; both switches are reported to the host at their sample.
struct FreezerLoop final : Loop {
    const float *in, *control;
    float* out;
    mp::IMpHost* host;
    bool frozen = false;
    float held = 0.0f;
    FreezerLoop(Bufs& b, mp::IMpHost* h)
        : in(b[0].data()), control(b[1].data()), out(b[4].data()), host(h) {}
    void run(int32_t n) override {
        const float* x = in;
        const float* c = control;
        float* y = out;
        mp::IMpHost* const to = host;
        bool f = frozen;
        float h = held;
        for (int32_t i = 0; i < n; ++i) {
            const bool freeze = c[i] > 0.0f;
            if (freeze != f) {
                if (freeze) h = x[i];
                if (to != nullptr) to->sendPinStreaming(i, 4, !freeze);
            }
            y[i] = freeze ? h : x[i];
            f = freeze;
        }
        frozen = f;
        held = h;
    }
};

// Rising edges counted, wrapping past the limit (mode 2, limit 7).
struct CounterLoop final : Loop {
    const float *clock, *reset;
    float* out;
    uint32_t count = 0;
    float previous = 0.0f;
    explicit CounterLoop(Bufs& b) : clock(b[0].data()), reset(b[1].data()), out(b[5].data()) {}
    void run(int32_t samples) override {
        uint32_t n = count;
        float p = previous;
        for (int32_t i = 0; i < samples; ++i) {
            const float c = clock[i];
            if (reset[i] > 0.0f) {
                n = 0;
                out[i] = 0.0f;
            } else {
                if (p <= 0.0f && c > 0.0f && ++n > 7u) n = 0;
                out[i] = static_cast<float>(n) * 0.1f;
            }
            p = c;
        }
        count = n;
        previous = p;
    }
};

// Active source while the gate is on and for 100 ms after, else the idle one.
struct OffDelayLoop final : Loop {
    const float *idle, *active, *gate;
    float* out;
    int32_t countdown = 0;
    bool previous = false;
    explicit OffDelayLoop(Bufs& b)
        : idle(b[0].data()), active(b[1].data()), gate(b[3].data()), out(b[4].data()) {}
    void run(int32_t n) override {
        const int32_t hold = 4800;
        int32_t c = countdown;
        bool p = previous;
        for (int32_t i = 0; i < n; ++i) {
            const bool g = gate[i] > 0.0f;
            if (g) {
                if (!p) c = hold;
                out[i] = active[i];
            } else if (c != 0) {
                --c;
                out[i] = active[i];
            } else {
                out[i] = idle[i];
            }
            p = g;
        }
        countdown = c;
        previous = p;
    }
};

// Set/reset latch choosing one of two sources; kEdge: on rising edges only.
// Every switch tells the host whether the newly chosen source streams. Like
// the module, it copies the heard source until the one trigger that can
// switch the latch fires.
template <bool kEdge>
struct LatchLoop final : Loop {
    const float *source0, *source1, *set, *reset;
    float* out;
    mp::IMpHost* host;
    bool streaming[2] = {true, true};
    bool latch = false;
    float previousSet = 0.0f, previousReset = 0.0f;
    LatchLoop(Bufs& b, mp::IMpHost* h)
        : source0(b[0].data()),
          source1(b[1].data()),
          set(b[2].data()),
          reset(b[3].data()),
          out(b[4].data()),
          host(h) {}
    void run(int32_t n) override {
        const float *s = set, *r = reset;
        float* y = out;
        mp::IMpHost* const to = host;
        bool l = latch;
        float ps = previousSet, pr = previousReset;
        int32_t i = 0;
        while (i < n) {
            const float* x = l ? source1 : source0;
            const float* t = l ? r : s;
            float p = l ? pr : ps;
            for (; i < n; ++i) {
                const float v = t[i];
                if (v >= 0.5f && (!kEdge || p < 0.5f)) break;
                y[i] = x[i];
                p = v;
            }
            (l ? pr : ps) = p;
            if (i == n) break;
            ps = s[i];
            pr = r[i];
            y[i] = l ? source0[i] : source1[i];
            l = !l;
            if (to != nullptr) to->sendPinStreaming(i, 4, streaming[l]);
            ++i;
        }
        latch = l;
        previousSet = ps;
        previousReset = pr;
    }
};

// The mixers' exponential weight curve, 16384 entries, read with linear
// interpolation.
struct Curve {
    std::vector<float> table = std::vector<float>(16384);
    Curve() {
        float i = 0.0f;
        for (float& v : table) {
            const float x = (i * 6.103888e-05f - 1.0f) * 3.0f;
            v = 1.0f - (1.0f - static_cast<float>(std::exp(static_cast<double>(x)))) * 1.0523957f;
            i += 1.0f;
        }
    }
    static float at(const float* t, float w) {
        const float p = w * 16383.0f;
        const int32_t k = static_cast<int32_t>(p);
        const float f = p - static_cast<float>(k);
        if (k < 16383) return f * t[k + 1] + (1.0f - f) * t[k];
        return (1.0f - f) * t[16383];
    }
};

inline float clamp01(float v) {
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

// Crossfade along a line of inputs (the catalog's two), curved weights.
struct Morph1DLoop final : Loop {
    const float* position;
    float* out;
    std::vector<const float*> in;
    Curve curve;
    explicit Morph1DLoop(Bufs& b) : position(b[0].data()), out(b[2].data()) {
        for (size_t k = 3; k < 5; ++k) in.push_back(b[k].data());
    }
    void run(int32_t count) override {
        const float* const* x = in.data();
        const int32_t n = static_cast<int32_t>(in.size());
        const float last = static_cast<float>(n - 1);
        const float* t = curve.table.data();
        for (int32_t i = 0; i < count; ++i) {
            const float s = clamp01(position[i]) * last;
            float sum = 0.0f;
            for (int32_t k = 0; k < n; ++k) {
                float w = 1.0f - std::fabs(s - static_cast<float>(k));
                if (w < 0.0f) w = 0.0f;
                sum += Curve::at(t, w) * x[k][i];
            }
            out[i] = sum;
        }
    }
};

// Inputs on a ring (the catalog's four), weights recomputed when the
// position or focus moves, curved.
struct Morph2DLoop final : Loop {
    const float *position, *focus;
    float* out;
    std::vector<const float*> in;
    std::vector<float> weight = std::vector<float>(4, 0.0f);
    float lastX = -1.0f, lastY = -1.0f;
    Curve curve;
    explicit Morph2DLoop(Bufs& b) : position(b[0].data()), focus(b[1].data()), out(b[3].data()) {
        for (size_t k = 4; k < 8; ++k) in.push_back(b[k].data());
    }
    void run(int32_t count) override {
        const float* const* x = in.data();
        float* w = weight.data();
        const int32_t n = static_cast<int32_t>(in.size());
        const float nf = static_cast<float>(n);
        const float share = 1.0f / nf;
        const float* t = curve.table.data();
        float lx = lastX, ly = lastY;
        for (int32_t i = 0; i < count; ++i) {
            const float px = clamp01(position[i]);
            const float fy = clamp01(focus[i]);
            if (px != lx || fy != ly) {
                lx = px;
                ly = fy;
                const float p = px * nf;
                for (int32_t k = n - 1; k >= 0; --k) {
                    const float pk = (k == 0 && p > nf - 1.0f) ? p - nf : p;
                    const float d = 1.0f - std::fabs(pk - static_cast<float>(k));
                    const float m = (d < 0.0f ? 0.0f : d * fy) + 1.0f - fy;
                    w[k] = m * fy + share * m * (1.0f - fy);
                }
            }
            float sum = 0.0f;
            for (int32_t k = 0; k < n; ++k) sum += Curve::at(t, w[k]) * x[k][i];
            out[i] = sum;
        }
        lastX = lx;
        lastY = ly;
    }
};

// Rise and fall times, constant-time glide (mode 0).
struct Glider2Loop final : Loop {
    const float *target, *rise, *fall, *reset;
    float* out;
    float y = 0.0f, prev = 0.0f, step = 0.0f;
    explicit Glider2Loop(Bufs& b)
        : target(b[0].data()),
          rise(b[1].data()),
          fall(b[2].data()),
          reset(b[4].data()),
          out(b[5].data()) {}
    void run(int32_t n) override;
};

// acc[j] += h[j] * x for j < n, in fixed-width stretches the compiler turns
// into vector operations (each entry takes one product: no reordering).
__attribute__((always_inline)) inline void addScaled(float* __restrict acc,
                                                     const float* __restrict h, float x,
                                                     int32_t n) {
    int32_t j = 0;
    for (; j + 16 <= n; j += 16)
        for (int32_t q = 0; q < 16; ++q) acc[j + q] += h[j + q] * x;
    for (; j + 4 <= n; j += 4)
        for (int32_t q = 0; q < 4; ++q) acc[j + q] += h[j + q] * x;
    for (; j < n; ++j) acc[j] += h[j] * x;
}

void Glider2Loop::run(int32_t n) {
    const float rate = 48000.0f;
    float yy = y, p = prev, st = step;
    for (int32_t i = 0; i < n; ++i) {
        const float g = target[i];
        float up = 10.0f * rise[i];
        float down = 10.0f * fall[i];
        bool follow = false;
        if (up < 0.0f) {
            if (down <= 0.0f) {
                follow = true;
            } else {
                up = 0.0f;
            }
        } else if (down < 0.0f) {
            down = 0.0f;
        } else if (up == 0.0f && down == 0.0f) {
            follow = true;
        }
        yy =
            (follow || reset[i] >= 0.5f) ? g : glideStep(g, p, yy, (yy < g ? up : down) * rate, st);
        out[i] = yy;
        p = g;
    }
    y = yy;
    prev = p;
    step = st;
}

// The ring of partial sums as a plain function, built for AVX2 and for the
// baseline instruction set, picked at load time like the module's.
__attribute__((target_clones("avx512f", "avx2", "default"))) void ringSpan(
    float* acc, const float* h, int32_t taps, int32_t* pos, const float* in, float* out,
    int32_t n) {
    int32_t p = *pos;
    for (int32_t i = 0; i < n; ++i) {
        const float x = in[i];
        addScaled(acc + p, h, x, taps - p);
        addScaled(acc, h + (taps - p), x, p);
        out[i] = acc[p];
        acc[p] = 0.0f;
        if (++p == taps) p = 0;
    }
    *pos = p;
}

struct ShortConvLoop final : Loop {
    const float* in;
    float* out;
    std::vector<float> h;
    std::vector<float> acc;
    int32_t p = 0;
    ShortConvLoop(Bufs& b, std::vector<float> kernel)
        : in(b[0].data()), out(b[2].data()), h(std::move(kernel)), acc(h.size(), 0.0f) {}
    void run(int32_t n) override {
        ringSpan(acc.data(), h.data(), static_cast<int32_t>(h.size()), &p, in, out, n);
    }
};

// Band-limited impulse train at a constant frequency control, linear scale.
struct DiracLoop final : Loop {
    static constexpr int32_t kSize = 262144, kMask = kSize - 1, kHalf = kSize / 2;
    const float *amp, *freq;
    float* out;
    std::vector<float> sine;
    double phase = 0.0, period = 0.0, inc = 0.0;
    float norm = 0.0f, peak = 0.0f, last = -1.0f;
    int32_t harmonics = 0;
    DiracLoop(Bufs& b) : amp(b[1].data()), freq(b[3].data()), out(b[7].data()), sine(kSize) {
        const double step = 2.3968449810713143e-05;
        double a = step;
        sine[0] = 0.0f;
        sine[kHalf] = -0.0f;
        for (int32_t k = 1; k < kHalf; ++k, a += step) {
            sine[k] = static_cast<float>(std::sin(a));
            sine[k + kHalf] = -sine[k];
        }
    }
    void run(int32_t n) override {
        const float r = 0.001f * 48000.0f;
        const float* s = sine.data();
        double ph = phase, per = period, d = inc;
        float t = norm, l = peak, c = last;
        int32_t m = harmonics;
        for (int32_t i = 0; i < n; ++i) {
            float w = 10.0f * freq[i];
            w = w > 0.0f ? w : 0.0f;
            if (w != c) {
                c = w;
                const double f = std::min(0.5 * static_cast<double>(r), static_cast<double>(w));
                per = static_cast<double>(r) / f;
                const int32_t nn = 2 * static_cast<int32_t>(std::trunc(0.5 * per));
                m = nn + 1;
                t = static_cast<float>(1.0 / nn);
                l = static_cast<float>(nn + 1.0);
                d = 0.5 / per;
            }
            const int32_t k = static_cast<int32_t>(ph * 262144.0) & kMask;
            const float ratio =
                (k != 0 && k != kHalf)
                    ? s[(static_cast<uint32_t>(m) * static_cast<uint32_t>(k)) & kMask] / s[k]
                    : l;
            ph = ph + d;
            if (ph >= 1.0) ph = ph - 1.0;
            const float x = amp[i];
            out[i] = (ratio * t) * x;
        }
        phase = ph;
        period = per;
        inc = d;
        norm = t;
        peak = l;
        last = c;
        harmonics = m;
    }
};

struct PlainFir final : Loop {
    static constexpr int32_t kTaps = 1024;
    std::vector<float> h;
    // The history twice over, so that every inner product reads one
    // contiguous stretch: x[t], x[t-1], ... at hist[pos], hist[pos+1], ...
    std::vector<float> hist;
    int32_t pos = kTaps;
    const float* in;
    float* out;
    PlainFir(const std::vector<float>& kernel, const float* i, float* o)
        : h(kernel), hist(2 * kTaps, 0.0f), in(i), out(o) {
        h.resize(kTaps, 0.0f);
    }
    void run(int32_t n) override {
        const float* k = h.data();
        float* x = hist.data();
        for (int32_t i = 0; i < n; ++i) {
            if (--pos < 0) {
                std::memcpy(x + kTaps + 1, x, (kTaps - 1) * sizeof(float));
                pos = kTaps;
            }
            x[pos] = in[i];
            float sum = 0.0f;
            for (int32_t j = 0; j < kTaps; ++j) sum += k[j] * x[pos + j];
            out[i] = sum;
        }
    }
};

struct Mt19937Noise final : Loop {
    float* out;
    std::mt19937 gen{1};
    std::uniform_real_distribution<float> dist{-0.5f, 0.5f};
    explicit Mt19937Noise(float* o) : out(o) {}
    void run(int32_t n) override {
        for (int32_t i = 0; i < n; ++i) out[i] = dist(gen);
    }
};

// The same Dirichlet-kernel sum sin(M theta) / sin(theta), with two sine
// evaluations per sample instead of two table reads.
struct SinDirac final : Loop {
    const float* amp;
    float* out;
    double phase = 0.0, inc;
    int32_t m;
    float t, peak;
    SinDirac(float period, const float* a, float* o) : amp(a), out(o) {
        const int32_t nn = 2 * static_cast<int32_t>(std::trunc(0.5 * period));
        m = nn + 1;
        t = static_cast<float>(1.0 / nn);
        peak = static_cast<float>(nn + 1.0);
        inc = 0.5 / period;
    }
    void run(int32_t n) override {
        const double twoPi = 6.283185307179586;
        double ph = phase;
        for (int32_t i = 0; i < n; ++i) {
            const double a = twoPi * ph;
            const double den = std::sin(a);
            const float ratio = den != 0.0 ? static_cast<float>(std::sin(m * a) / den) : peak;
            ph = ph + inc;
            if (ph >= 1.0) ph = ph - 1.0;
            out[i] = (ratio * t) * amp[i];
        }
        phase = ph;
    }
};

}  // namespace

std::unique_ptr<Loop> makeBaseline(const std::string& id, Bufs& b, const std::vector<float>& blob,
                                   mp::IMpHost* host) {
    if (id == "ShortConv") return std::make_unique<ShortConvLoop>(b, blob);
    if (id == "DC_Blocker") return std::make_unique<DcBlocker>(b);
    if (id == "Derivator") return std::make_unique<Derivator>(b);
    if (id == "Integrator") return std::make_unique<Integrator>(b);
    if (id == "Averaging") return std::make_unique<Averaging>(b);
    if (id == "CombFlt") return std::make_unique<CombFlt>(b);
    if (id == "RngClp") return std::make_unique<RngClp>(b);
    if (id == "KV_ZXDet") return std::make_unique<ZeroCrossing>(b);
    if (id == "KV_RepLat") return std::make_unique<Copy>(b, 2);
    if (id == "KV_Crusher") return std::make_unique<Crusher>(b);
    if (id == "NoiseGen") return std::make_unique<WhiteNoise>(b);
    if (id == "Latency") return std::make_unique<LatencyLoop>(b);
    if (id == "FracDelay") return std::make_unique<FracDelayLoop>(b);
    if (id == "Glider") return std::make_unique<GliderLoop>(b);
    if (id == "Dirac") return std::make_unique<DiracLoop>(b);
    if (id == "MinMax") return std::make_unique<MinMaxLoop>(b);
    if (id == "MinMaxIndex") return std::make_unique<MinMaxIndexLoop>(b);
    if (id == "Freezer") return std::make_unique<FreezerLoop>(b, host);
    if (id == "KV_AudioCounter") return std::make_unique<CounterLoop>(b);
    if (id == "OFF Delay") return std::make_unique<OffDelayLoop>(b);
    if (id == "Memory/Reset") return std::make_unique<LatchLoop<false>>(b, host);
    if (id == "Memory/Reset2") return std::make_unique<LatchLoop<true>>(b, host);
    if (id == "Glider2") return std::make_unique<Glider2Loop>(b);
    if (id == "Morph1D") return std::make_unique<Morph1DLoop>(b);
    if (id == "Morph2D") return std::make_unique<Morph2DLoop>(b);
    return nullptr;
}

std::unique_ptr<Loop> makePlainFir(const std::vector<float>& kernel, const float* in, float* out) {
    return std::make_unique<PlainFir>(kernel, in, out);
}

std::unique_ptr<Loop> makeMt19937Noise(float* out) {
    return std::make_unique<Mt19937Noise>(out);
}

std::unique_ptr<Loop> makeSinDirac(float period, const float* amp, float* out) {
    return std::make_unique<SinDirac>(period, amp, out);
}

}  // namespace zbench
