// The messages two copies exchange: kinds, little-endian words, and the checks every received message passes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace man2man {

// Word 0 of every message between the two players.
constexpr uint32_t kRegiDataMessage = 100;
constexpr uint32_t kFreeDataMessage = 101;
constexpr uint32_t kChatMessage = 102;
constexpr uint32_t kLiveCheckerMessage = 103;
constexpr uint32_t kRecoveryCheckerMessage = 104;
constexpr uint32_t kGuaranteeEnvelope = 3333;
constexpr uint32_t kGuaranteeAck = 7777;
constexpr uint32_t kRecoveryAnswer = 9999;

constexpr size_t kHeaderSize = 8;   // word 0 and word 1
constexpr size_t kProbeSize = 12;   // live-check and recovery probes
constexpr size_t kAnswerSize = 8;   // acknowledgement and recovery answer

inline uint32_t ReadWord(const void* data, size_t offset) {
    const auto* p = static_cast<const uint8_t*>(data) + offset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void WriteWord(void* data, size_t offset, uint32_t value) {
    auto* p = static_cast<uint8_t*>(data) + offset;
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
    p[3] = uint8_t(value >> 24);
}

// A two-word message such as {7777, n} or {9999, 0}.
struct ShortMessage {
    uint8_t bytes[kAnswerSize];
    ShortMessage(uint32_t word0, uint32_t word1) {
        WriteWord(bytes, 0, word0);
        WriteWord(bytes, 4, word1);
    }
};

// A three-word probe {kind, 0, 0}.
struct ProbeMessage {
    uint8_t bytes[kProbeSize] = {};
    explicit ProbeMessage(uint32_t kind) { WriteWord(bytes, 0, kind); }
};

// Whether a message from the partner has the layout its kind prescribes. A peer that follows
// the protocol never fails this; anything else is dropped before a field is read. The size of a
// RegiDataMessage is checked against the registration table by its handler.
bool WellFormedPlayerMessage(const void* data, size_t size);

// The inner message of a well-formed GuaranteeEnvelope.
inline const uint8_t* EnvelopeInner(const void* data) {
    return static_cast<const uint8_t*>(data) + kHeaderSize;
}

}  // namespace man2man
