// The binary contract between a host and this module library.
//
// Every interface is a plain abstract struct: its virtual functions sit in
// the vtable in declaration order, so the position of each operation is the
// order written here. No interface has a virtual destructor (it would take
// two vtable slots); objects are destroyed through Release.
//
// Conventions: an interface identifier is passed by reference (a pointer to
// its 16 bytes); wide strings are 16-bit code units; results are int32 with
// 0 = success, -1 = failure / not found, -2 = not supported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mp {

enum : int32_t { MP_OK = 0, MP_FAIL = -1, MP_NOSUPPORT = -2 };

struct MpGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(MpGuid) == 16, "an identifier is 16 bytes");

inline bool operator==(const MpGuid& a, const MpGuid& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, 8) == 0;
}
inline bool operator!=(const MpGuid& a, const MpGuid& b) {
    return !(a == b);
}

// {00000000-0000-C000-0000-000000000046}
inline constexpr MpGuid kIID_IMpUnknown = {
    0x00000000, 0x0000, 0xC000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IMpUnknown {
    virtual int32_t QueryInterface(const MpGuid& iid, void** out) = 0;
    virtual int32_t AddRef() = 0;
    virtual int32_t Release() = 0;
};

// ---------------------------------------------------------------- factory

// {91C3D2EE-C701-4F35-91A6-094DC7E05976}
inline constexpr MpGuid kIID_IMpFactory = {
    0x91C3D2EE, 0xC701, 0x4F35, {0x91, 0xA6, 0x09, 0x4D, 0xC7, 0xE0, 0x59, 0x76}};
// {9A7904B7-7F7F-4D61-B558-C1A6695BB638}
inline constexpr MpGuid kIID_IMpFactory2 = {
    0x9A7904B7, 0x7F7F, 0x4D61, {0xB5, 0x58, 0xC1, 0xA6, 0x69, 0x5B, 0xB6, 0x38}};

enum : int32_t { MP_SUBTYPE_DSP = 0, MP_SUBTYPE_GUI = 2 };

struct IMpFactory : IMpUnknown {
    // 3: creates (identifier, subtype) and attaches the host to a DSP instance.
    virtual int32_t instantiate(const char16_t* id, int32_t subtype, IMpUnknown* host,
                                void** out) = 0;
    // 4: version number and a build text of 28 code units plus a terminating 0.
    virtual int32_t reportBuildInfo(int32_t* version, int32_t unused, char16_t* text) = 0;
};

struct IMpFactory2 : IMpFactory {
    // 5: creates without attaching a host.
    virtual int32_t instantiateBare(const char16_t* id, int32_t subtype, void** out) = 0;
};

// ----------------------------------------------------------------- events

enum : int32_t {
    EVENT_PIN_SET = 100,
    EVENT_PIN_STREAMING_START = 101,
    EVENT_PIN_STREAMING_STOP = 102,
    EVENT_MIDI = 103,
    EVENT_GRAPH_START = 104,
};

// A host event: time-stamped, linked in time order.
struct MpEvent {
    int32_t timeDelta;  // sample offset within the block
    int32_t eventType;
    int32_t parm1;          // pin index
    int32_t parm2;          // value size in bytes
    int32_t parm3;          // inline value, first 4 bytes
    int32_t parm4;          // inline value, next 4 bytes
    const char* extraData;  // value bytes when not inline, else null
    MpEvent* next;

    const void* valueBytes() const {
        return extraData != nullptr ? static_cast<const void*>(extraData)
                                    : static_cast<const void*>(&parm3);
    }
};
static_assert(sizeof(MpEvent) == 40, "event record is 40 bytes");
static_assert(offsetof(MpEvent, timeDelta) == 0 && offsetof(MpEvent, eventType) == 4 &&
                  offsetof(MpEvent, parm1) == 8 && offsetof(MpEvent, parm2) == 12 &&
                  offsetof(MpEvent, parm3) == 16 && offsetof(MpEvent, parm4) == 20 &&
                  offsetof(MpEvent, extraData) == 24 && offsetof(MpEvent, next) == 32,
              "event record field offsets");

// ------------------------------------------------------------ DSP instance

// {2B0DFC7E-A539-49CD-B72D-32FF9DF0D9E4}
inline constexpr MpGuid kIID_IMpPlugin = {
    0x2B0DFC7E, 0xA539, 0x49CD, {0xB7, 0x2D, 0x32, 0xFF, 0x9D, 0xF0, 0xD9, 0xE4}};
// {1E07E3E8-8118-457F-A63C-D4F282A0F519}
inline constexpr MpGuid kIID_IMpPlugin2 = {
    0x1E07E3E8, 0x8118, 0x457F, {0xA6, 0x3C, 0xD4, 0xF2, 0x82, 0xA0, 0xF5, 0x19}};
// {0B471002-5627-4D46-984E-C0DC79D0AD35}
inline constexpr MpGuid kIID_IMpLegacyInitialization = {
    0x0B471002, 0x5627, 0x4D46, {0x98, 0x4E, 0xC0, 0xDC, 0x79, 0xD0, 0xAD, 0x35}};

// A DSP instance. The host calls one instance from one thread at a time;
// the library takes no locks and starts no threads.
//
// attachHost  [setup]  queries the second and the main host interface and
//                      keeps both; only the main one is released later.
// open        [setup]  may allocate, request shared tables (filling them when
//                      told they are new) and walk the host's pin list.
// bindBuffer  [setup or audio thread] stores a pointer; -1 for an unknown pin.
// processBlock [audio thread] `count` samples, events time-ordered and below
//                      `count`. Allocates nothing, locks nothing, does no I/O
//                      (a blob pin whose byte count changes reallocates its
//                      value); calls back only host positions 3 to 8.
// acceptMessage [any thread the host serialises] answers 0; no module here
//                      takes messages.
struct IMpPlugin : IMpUnknown {
    virtual int32_t open() = 0;                                                     // 3
    virtual int32_t bindBuffer(int32_t pin, float* buffer) = 0;                     // 4
    virtual void processBlock(int32_t count, const MpEvent* events) = 0;            // 5
    virtual int32_t acceptMessage(int32_t id, int32_t size, const void* data) = 0;  // 6
};

struct IMpPlugin2 : IMpUnknown {
    virtual int32_t attachHost(IMpUnknown* host) = 0;                                // 3
    virtual int32_t open() = 0;                                                      // 4
    virtual int32_t bindBuffer(int32_t pin, float* buffer) = 0;                      // 5
    virtual void processBlock(int32_t count, const MpEvent* events) = 0;             // 6
    virtual int32_t acceptMessage2(int32_t id, int32_t size, const void* data) = 0;  // 7
};

// An initialisation table without the three COM operations.
struct IoldSchoolInitialisation {
    virtual int32_t attachHost(IMpUnknown* host) = 0;  // 0
};

struct IMpLegacyInitialization : IMpUnknown {
    virtual int32_t attachHost(IMpUnknown* host) = 0;  // 3
};

// ------------------------------------------------------------- host side

// {4F1B532F-3C46-4927-A498-614867425BE7}
inline constexpr MpGuid kIID_IMpHost = {
    0x4F1B532F, 0x3C46, 0x4927, {0xA4, 0x98, 0x61, 0x48, 0x67, 0x42, 0x5B, 0xE7}};
// {87CCD426-71D7-414E-A9A6-5ADCA81C7420}
inline constexpr MpGuid kIID_IMpHost2 = {
    0x87CCD426, 0x71D7, 0x414E, {0xA9, 0xA6, 0x5A, 0xDC, 0xA8, 0x1C, 0x74, 0x20}};

// Iterates the pins the host holds for one instance. Called from open().
struct IMpPinIterator : IMpUnknown {
    virtual int32_t getCount(int32_t* count) = 0;       // 3
    virtual int32_t first() = 0;                        // 4: 0 while on a pin
    virtual int32_t next() = 0;                         // 5: 0 while on a pin
    virtual int32_t getPinId(int32_t* id) = 0;          // 6
    virtual int32_t getPinDirection(int32_t* dir) = 0;  // 7: 0 input, 1 output
    virtual int32_t getPinDatatype(int32_t* type) = 0;  // 8: 5 audio
};

// The main host interface. Each DSP instance gets its own; the processing
// thread calls positions 3 to 8 from inside processBlock, so a host must
// implement them without allocating or blocking. open() may call 13 and 16.
struct IMpHost : IMpUnknown {
    virtual int32_t sendPinValue(int32_t offset, int32_t pin, int32_t size,
                                 const void* data) = 0;                                 // 3
    virtual int32_t sendPinStreaming(int32_t offset, int32_t pin, bool streaming) = 0;  // 4
    virtual int32_t requestSleep() = 0;                                                 // 5
    virtual int32_t postGuiMessage(int32_t id, int32_t size, const void* data) = 0;     // 6
    virtual int32_t readBlockSize(int32_t* samples) = 0;                                // 7
    virtual int32_t readSampleRate(float* rate) = 0;                                    // 8
    virtual int32_t readHostId(int32_t max, char16_t* text) = 0;          // 9, unused here
    virtual int32_t readHostVersion(int32_t* version) = 0;                // 10, unused here
    virtual int32_t readRegisteredName(int32_t max, char16_t* text) = 0;  // 11, unused here
    virtual int32_t isEditor(int32_t* yes) = 0;                           // 12, unused here
    virtual int32_t openPinIterator(IMpPinIterator** out) = 0;            // 13
    virtual int32_t readHandle(int32_t* handle) = 0;                      // 14, unused here
    virtual int32_t resolveFilename(const char16_t* name, int32_t max,
                                    char16_t* out) = 0;  // 15, unused here
    // 16: a block of `size` bytes shared by every instance asking with the
    // same (key, rate); *needInit is non-zero for exactly the first asker.
    virtual int32_t requestSharedTable(const char16_t* key, void** memory, float rate, int32_t size,
                                       int32_t* needInit) = 0;
};

struct IMpHost2 : IMpUnknown {
    virtual int32_t readVoiceCount(int32_t* count) = 0;  // 3, unused here
    virtual int32_t readPolyphony(int32_t* count) = 0;   // 4, unused here
    virtual int32_t reportLatency(int32_t samples) = 0;  // 5
};

// Pin data type codes and directions.
enum : int32_t {
    PIN_TYPE_ENUM = 0,
    PIN_TYPE_STRING = 1,
    PIN_TYPE_MIDI = 2,
    PIN_TYPE_BOOL = 4,
    PIN_TYPE_AUDIO = 5,
    PIN_TYPE_FLOAT = 6,
    PIN_TYPE_INT = 8,
    PIN_TYPE_BLOB = 10,
};
enum : int32_t { PIN_DIR_IN = 0, PIN_DIR_OUT = 1 };

}  // namespace mp

// The single export: writes the factory (with a reference added) and returns 0.
extern "C" typedef int32_t (*MP_GetFactoryFn)(void** out);
