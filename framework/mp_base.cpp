#include "framework/mp_base.h"

#include "framework/mp_pins.h"

using namespace mp;

// ------------------------------------------------------------ MpPluginBase

int32_t MpPluginBase::QueryInterface(const MpGuid& iid, void** out) {
    if (out == nullptr) return MP_FAIL;
    if (iid == kIID_IMpUnknown || iid == kIID_IMpPlugin) {
        *out = static_cast<IMpPlugin*>(this);
    } else if (iid == kIID_IMpPlugin2) {
        *out = static_cast<IMpPlugin2*>(this);
    } else if (iid == kIID_IMpLegacyInitialization) {
        *out = static_cast<IMpLegacyInitialization*>(this);
    } else {
        *out = nullptr;
        return MP_NOSUPPORT;
    }
    AddRef();
    return MP_OK;
}

int32_t MpPluginBase::Release() {
    const int32_t count = --refCount_;
    if (count == 0) delete this;
    return count;
}

MpPluginBase::~MpPluginBase() {
    pins_.clear();
    // Only the main host interface is given back: hosts hand the second one
    // out expecting no release from a module.
    if (host_ != nullptr) host_->Release();
}

int32_t MpPluginBase::attachHost(IMpUnknown* host) {
    if (host_ != nullptr) host_->Release();
    host2_ = nullptr;
    host_ = nullptr;
    if (host == nullptr) return MP_FAIL;
    host->QueryInterface(kIID_IMpHost2, reinterpret_cast<void**>(&host2_));
    return host->QueryInterface(kIID_IMpHost, reinterpret_cast<void**>(&host_));
}

int32_t MpPluginBase::bindBuffer(int32_t index, float* buffer) {
    MpPinBase* p = pin(index);
    if (p == nullptr) return MP_FAIL;
    p->bindBuffer(buffer);
    return MP_OK;
}

// The two message forms call each other so that a module may override
// either; the guard ends the recursion when neither is overridden.
int32_t MpPluginBase::acceptMessage(int32_t id, int32_t size, const void* data) {
    if (messageGuard_) return MP_OK;
    messageGuard_ = true;
    const int32_t r = acceptMessage2(id, size, data);
    messageGuard_ = false;
    return r;
}

int32_t MpPluginBase::acceptMessage2(int32_t id, int32_t size, const void* data) {
    if (messageGuard_) return MP_OK;
    messageGuard_ = true;
    const int32_t r = acceptMessage(id, size, data);
    messageGuard_ = false;
    return r;
}

void MpPluginBase::midiReceived(int32_t pin, const unsigned char* bytes, int32_t size) {
    onMidiMessage(pin, bytes, size);
}

void MpPluginBase::onMidiMessage(int32_t, const unsigned char*, int32_t) {}

// ------------------------------------------------------------------ MpBase2

MpBase2::MpBase2() : active_(&MpBase2::sleepGate), selected_(&MpBase2::emptyRoutine) {}

void MpBase2::registerPin(MpPinBase& p, PinRoutine routine) {
    p.index_ = static_cast<int32_t>(pins_.size());
    p.owner_ = this;
    if (routine == nullptr && p.direction() == PIN_DIR_IN) routine = p.defaultRoutine();
    p.routine_ = routine;
    pins_.push_back(&p);
}

namespace {
bool isPinEvent(int32_t type) {
    return type >= EVENT_PIN_SET && type <= EVENT_MIDI;
}
bool isChangeEvent(int32_t type) {
    return type >= EVENT_PIN_SET && type <= EVENT_PIN_STREAMING_STOP;
}
}  // namespace

void MpBase2::processBlock(int32_t count, const MpEvent* events) {
    spanOffset_ = 0;
    int32_t remaining = count < 0 ? 0 : count;
    for (const MpEvent* e = events; e != nullptr;) {
        int32_t len = e->timeDelta - spanOffset_;
        if (len > 0) {
            // An event stamped at or beyond the block's end waits for the
            // next block; never run a span past the buffers.
            if (len > remaining) len = remaining;
            lastSpan_ = false;
            (this->*active_)(len);
            lastSpan_ = true;
            remaining -= len;
            if (remaining == 0) return;
            spanOffset_ += len;
        }
        // The group: e and every following event stamped at spanOffset.
        const MpEvent* end = e->next;
        while (end != nullptr && end->timeDelta == spanOffset_) end = end->next;

        // Any value or streaming event in the group calls for one reaction,
        // also one whose pin this instance does not have (it is not applied).
        bool changed = false;
        for (const MpEvent* g = e; g != end; g = g->next) {
            if (!isPinEvent(g->eventType)) continue;
            changed |= isChangeEvent(g->eventType);
            if (MpPinBase* p = pin(g->parm1)) p->applyEvent(g);
        }
        for (const MpEvent* g = e; g != end; g = g->next) {
            if (g->eventType == EVENT_GRAPH_START) {
                onGraphBegin();
            } else if (isPinEvent(g->eventType)) {
                if (MpPinBase* p = pin(g->parm1)) p->notifyOwner(g);
            }
        }
        if (changed) onPinsChanged();
        for (const MpEvent* g = e; g != end; g = g->next) {
            if (!isPinEvent(g->eventType)) continue;
            if (MpPinBase* p = pin(g->parm1)) p->finishEvent(g);
        }
        e = end;
    }
    (this->*active_)(remaining);
}

void MpBase2::onGraphBegin() {
    for (MpPinBase* p : pins_) {
        if (p->direction() == PIN_DIR_OUT) p->publish();
    }
}

void MpBase2::selectRoutine(SpanRoutine routine) {
    if (active_ == selected_) active_ = routine;
    selected_ = routine;
}

void MpBase2::streamingChanged(bool nowStreaming) {
    streamingPinCount_ += nowStreaming ? 1 : -1;
    active_ = (streamingPinCount_ != 0 && sleepMode_ != 1) ? selected_ : &MpBase2::sleepGate;
}

void MpBase2::allowSleep(bool allow) {
    if (allow) {
        sleepMode_ = 1;
        active_ = &MpBase2::sleepGate;
    } else {
        sleepMode_ = 0;
    }
}

void MpBase2::resetSleepCountdownToBlock() {
    int32_t blockSize = 0;
    if (host_ != nullptr) host_->readBlockSize(&blockSize);
    sleepCountdown_ = blockSize;
}

void MpBase2::onMidiPin(const MpEvent* event) {
    const void* bytes;
    const int32_t size = mp_detail::eventValue(event, &bytes);
    midiReceived(event->parm1, static_cast<const unsigned char*>(bytes), size);
}

// Keeps computing until the countdown is spent (so every sample of the
// output buffers has been written since the output went static), then asks
// for sleep in the last span of a block instead of computing it.
void MpBase2::sleepGate(int32_t n) {
    const int32_t entryOffset = spanOffset_;
    for (;;) {
        const bool counting = (sleepMode_ == -1 && streamingPinCount_ == 0) || sleepMode_ == 1;
        if (!counting) {
            active_ = selected_;
            if (n > 0) (this->*selected_)(n);
            break;
        }
        if (sleepCountdown_ > 0) {
            if (n == 0) break;
            const int32_t k = n < sleepCountdown_ ? n : sleepCountdown_;
            sleepCountdown_ -= k;
            (this->*selected_)(k);
            spanOffset_ += k;
            n -= k;
            continue;
        }
        if (lastSpan_) {
            if (host_ != nullptr) host_->requestSleep();
            break;
        }
        sleepCountdown_ = n;
        if (n == 0) break;
    }
    spanOffset_ = entryOffset;
}
