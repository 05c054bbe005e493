// A module library whose modules each break one promise a host relies on, so
// that the validator's checks can be seen to fail. Built only for the tests.
#include <cmath>
#include <cstdlib>

#include "framework/mp_factory.h"
#include "framework/mp_pins.h"

namespace {

// A plain pass-through: the honest baseline, which must pass every check.
class Honest : public MpBase2 {
public:
    Honest() {
        registerPin(in);
        registerPin(out);
        selectSpanRoutine(&Honest::run);
    }
    void onPinsChanged() override { out.reportStreaming(in.isStreaming(), -1); }

protected:
    void run(int32_t count) {
        const float* x = in.buffer() + spanOffset();
        float* y = out.buffer() + spanOffset();
        for (int32_t i = 0; i < count; ++i) y[i] = x[i];
    }
    AudioInPin in;
    AudioOutPin out;
};

class AllocatesWhileProcessing : public Honest {
public:
    AllocatesWhileProcessing() { selectSpanRoutine(&AllocatesWhileProcessing::leaky); }

private:
    void leaky(int32_t count) {
        kept = std::malloc(64);  // through a volatile, so the pair is not optimised away
        run(count);
        std::free(kept);
    }
    void* volatile kept = nullptr;
};

class LeavesSamplesUnwritten : public Honest {
public:
    LeavesSamplesUnwritten() { selectSpanRoutine(&LeavesSamplesUnwritten::half); }

private:
    void half(int32_t count) { run(count / 2); }
};

// Tells the host its output is constant while it keeps counting up.
class ChangesWhileReportedStatic : public Honest {
public:
    ChangesWhileReportedStatic() { selectSpanRoutine(&ChangesWhileReportedStatic::ramp); }
    void onPinsChanged() override { out.reportStreaming(false, -1); }

private:
    void ramp(int32_t count) {
        float* y = out.buffer() + spanOffset();
        for (int32_t i = 0; i < count; ++i) y[i] = (level += 0.001f);
    }
    float level = 0.0f;
};

class NaNFromFiniteInput : public Honest {
public:
    NaNFromFiniteInput() { selectSpanRoutine(&NaNFromFiniteInput::poison); }

private:
    void poison(int32_t count) {
        float* y = out.buffer() + spanOffset();
        for (int32_t i = 0; i < count; ++i) y[i] = std::nanf("");
    }
};

class CrashesWhileProcessing : public Honest {
public:
    CrashesWhileProcessing() { selectSpanRoutine(&CrashesWhileProcessing::crash); }

private:
    void crash(int32_t) { std::abort(); }
};

}  // namespace

REGISTER_DSP(Honest, u"Honest");
REGISTER_DSP(AllocatesWhileProcessing, u"AllocatesWhileProcessing");
REGISTER_DSP(LeavesSamplesUnwritten, u"LeavesSamplesUnwritten");
REGISTER_DSP(ChangesWhileReportedStatic, u"ChangesWhileReportedStatic");
REGISTER_DSP(NaNFromFiniteInput, u"NaNFromFiniteInput");
REGISTER_DSP(CrashesWhileProcessing, u"CrashesWhileProcessing");
