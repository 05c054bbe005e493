#include "framework/mp_pins.h"

using namespace mp;

void AudioInPin::applyEvent(const MpEvent* event) {
    if (event->eventType != EVENT_PIN_STREAMING_START &&
        event->eventType != EVENT_PIN_STREAMING_STOP)
        return;
    updated_ = true;
    const bool now = event->eventType == EVENT_PIN_STREAMING_START;
    if (now != streaming_) {
        streaming_ = now;
        owner()->streamingChanged(now);
    }
    if (!streaming_) owner()->raiseSleepCountdown(1);
}

void AudioInPin::finishEvent(const MpEvent* event) {
    if (event->eventType == EVENT_PIN_STREAMING_START ||
        event->eventType == EVENT_PIN_STREAMING_STOP)
        updated_ = false;
}

void AudioOutPin::reportStreaming(bool streaming, int32_t offset) {
    offset = resolveOffset(offset);
    if (streaming != streaming_) {
        streaming_ = streaming;
        owner()->streamingChanged(streaming);
    }
    if (!streaming_) owner()->resetSleepCountdownToBlock();
    if (IMpHost* host = owner()->host()) host->sendPinStreaming(offset, index(), streaming);
}

void MidiOutPin::sendMidi(const unsigned char* bytes, int32_t count, int32_t offset) {
    if (IMpHost* host = owner()->host())
        host->sendPinValue(resolveOffset(offset), index(), count, bytes);
}

PinIterator::PinIterator(IMpHost* host) {
    if (host != nullptr) host->openPinIterator(&it_);
}

PinIterator::~PinIterator() {
    if (it_ != nullptr) it_->Release();
}

int32_t PinIterator::getProperty() {
    int32_t v = 0;
    if (it_ != nullptr) it_->getPinId(&v);
    return v;
}

int32_t PinIterator::getDirection() {
    int32_t v = 0;
    if (it_ != nullptr) it_->getPinDirection(&v);
    return v;
}

int32_t PinIterator::getDatatype() {
    int32_t v = 0;
    if (it_ != nullptr) it_->getPinDatatype(&v);
    return v;
}
