// fuzz_support.h: what every fuzz target shares: reporting a broken property, and reading a
// fuzzer's input as a stream of small decisions.
#ifndef TYDB_TESTS_FUZZ_FUZZ_SUPPORT_H
#define TYDB_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzsupport {

// What a target leaves behind (its folder of data files), removed before a failure stops the
// process, since abort() runs no exit handlers.
inline void (*cleanupBeforeFailure)() = nullptr;

// A property the target checks does not hold: says which, and stops the run so that libFuzzer
// keeps the input as a crash reproducer.
[[noreturn]] inline void Fail(const std::string& message) {
    std::fprintf(stderr, "\n==== fuzz check failed: %s\n", message.c_str());
    std::fflush(stderr);
    if (cleanupBeforeFailure != nullptr) cleanupBeforeFailure();
    std::abort();
}

inline void Check(bool condition, const std::string& message) {
    if (!condition) Fail(message);
}

// Bytes shown as C escapes, for messages.
inline std::string Escape(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

// Reads an input from its front. Past the end every read gives zeros, so any input, however
// short, is a complete and deterministic program.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    size_t Remaining() const { return at_ < size_ ? size_ - at_ : 0; }

    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t U16() {
        uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }
    // A number in [0, count).
    size_t Pick(size_t count) { return count == 0 ? 0 : Byte() % count; }
    std::string Bytes(size_t count) {
        std::string out;
        for (size_t i = 0; i < count; ++i) out.push_back(static_cast<char>(Byte()));
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace fuzzsupport

#endif  // TYDB_TESTS_FUZZ_FUZZ_SUPPORT_H
