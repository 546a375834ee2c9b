// Layout checks of received messages.
#include "net/TMan2ManMessages.h"

namespace man2man {

namespace {

bool WellFormedKind(const uint8_t* p, size_t size, bool inner) {
    if (size < kHeaderSize) return false;
    const uint32_t kind = ReadWord(p, 0);
    const uint32_t word1 = ReadWord(p, 4);
    switch (kind) {
        case kRegiDataMessage:
            return true;
        case kFreeDataMessage:
            return word1 == size - kHeaderSize;
        case kChatMessage:
            // Word 1 carries the total size and the text ends in its one zero byte.
            return size > kHeaderSize && word1 == size && p[size - 1] == 0;
        case kLiveCheckerMessage:
        case kRecoveryCheckerMessage:
            return size == kProbeSize;
        case kGuaranteeEnvelope:
            // Envelopes are never nested.
            return !inner && WellFormedKind(p + kHeaderSize, size - kHeaderSize, true);
        case kGuaranteeAck:
        case kRecoveryAnswer:
            return size == kAnswerSize;
        default:
            return true;  // kinds of a later version: counted as a sign of life, nothing more
    }
}

}  // namespace

bool WellFormedPlayerMessage(const void* data, size_t size) {
    if (data == nullptr) return false;
    return WellFormedKind(static_cast<const uint8_t*>(data), size, false);
}

}  // namespace man2man
