// A byte string with owned storage: the value of blob pins.
#pragma once

#include <cstdint>
#include <cstring>

class MpBlob {
public:
    MpBlob() = default;
    MpBlob(const MpBlob& other) { assign(other.size_, other.data_); }
    MpBlob& operator=(const MpBlob& other) {
        if (this != &other) assign(other.size_, other.data_);
        return *this;
    }
    ~MpBlob() { delete[] data_; }

    // Reallocates only when the byte count changes, so equal-size updates
    // (the usual case on an audio thread) reuse the storage.
    void assign(int64_t count, const void* bytes) {
        if (count < 0) count = 0;
        if (count != size_) {
            delete[] data_;
            data_ = count > 0 ? new char[static_cast<size_t>(count)] : nullptr;
            size_ = count;
        }
        if (count > 0 && bytes != nullptr) std::memcpy(data_, bytes, static_cast<size_t>(count));
    }

    int64_t size() const { return size_; }
    const char* data() const { return data_; }
    char* data() { return data_; }

    bool operator==(const MpBlob& other) const {
        return size_ == other.size_ &&
               (size_ == 0 || std::memcmp(data_, other.data_, static_cast<size_t>(size_)) == 0);
    }
    bool operator!=(const MpBlob& other) const { return !(*this == other); }

private:
    int64_t size_ = 0;
    char* data_ = nullptr;
};
