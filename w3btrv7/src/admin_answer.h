// admin_answer.h: how the administration entry points answer: a status, and words for people.
#ifndef W3BTRV7_ADMIN_ANSWER_H
#define W3BTRV7_ADMIN_ANSWER_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace w3b {

// Writes `text` into `message` (`messageSize` bytes, cut to fit and always ended by a NUL) and
// returns `status`.
inline int16_t Answer(int16_t status, const std::string& text, char* message, uint32_t messageSize) {
    if (message != nullptr && messageSize > 0) {
        size_t length = std::min<size_t>(text.size(), messageSize - 1);
        std::memcpy(message, text.data(), length);
        message[length] = '\0';
    }
    return status;
}

}  // namespace w3b

#endif  // W3BTRV7_ADMIN_ANSWER_H
