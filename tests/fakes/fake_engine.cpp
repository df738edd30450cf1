// A recording stand-in for the record manager, built as libw3btrv7.so in its own folder.
//
// Tests point the settings store's PATH at that folder, so the library loads this instead of
// the real record manager. It is controlled through files named by environment variables,
// so it works the same in every process that loads it:
//   FAKE_ENGINE_LOG     every load, unload and request is appended here, one line each
//   FAKE_ENGINE_SCRIPT  scripted answers, one per line: "OP OCCURRENCE STATUS [LEN [HEX]]"
//                       OP is the operation code as sent (biases included); OCCURRENCE is the
//                       1-based count of requests with that code in this load, or '*' for all;
//                       LEN, when given, becomes the returned data length and HEX the bytes
//                       written to the data buffer. The file is read at every request.
//   FAKE_ENGINE_FORWARD path of the real record manager (default: the build's own); every
//                       request without a scripted answer goes there, or gets status 1 when
//                       it cannot be loaded.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "btrcall.h"

namespace {

std::map<uint16_t, int>& Occurrences() {
    static std::map<uint16_t, int> counts;
    return counts;
}

void AppendLog(const std::string& line) {
    const char* path = std::getenv("FAKE_ENGINE_LOG");
    if (path == nullptr || *path == '\0') return;
    std::ofstream out(path, std::ios::app);
    out << line << '\n';
}

std::string Hex(const void* data, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

struct ScriptedAnswer {
    int16_t status = 0;
    bool hasLength = false;
    uint32_t length = 0;
    std::string bytes;
};

bool FindScriptedAnswer(uint16_t operation, int occurrence, ScriptedAnswer* answer) {
    const char* path = std::getenv("FAKE_ENGINE_SCRIPT");
    if (path == nullptr || *path == '\0') return false;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        unsigned op = 0;
        std::string when;
        int status = 0;
        if (!(fields >> op >> when >> status)) continue;
        if (op != operation) continue;
        if (when != "*" && std::atoi(when.c_str()) != occurrence) continue;
        answer->status = static_cast<int16_t>(status);
        unsigned length = 0;
        if (fields >> length) {
            answer->hasLength = true;
            answer->length = length;
            std::string hex;
            if (fields >> hex) {
                for (size_t i = 0; i + 1 < hex.size(); i += 2)
                    answer->bytes += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
            }
        }
        return true;
    }
    return false;
}

BtrCallFunction RealEngine() {
    static void* library = nullptr;
    static BtrCallFunction entry = nullptr;
    if (library == nullptr) {
        const char* path = std::getenv("FAKE_ENGINE_FORWARD");
        library = dlopen(path != nullptr && *path != '\0' ? path : FAKE_ENGINE_DEFAULT_FORWARD, RTLD_NOW | RTLD_LOCAL);
        if (library != nullptr) entry = reinterpret_cast<BtrCallFunction>(dlsym(library, "BTRCALL"));
    }
    return entry;
}

struct LoadRecorder {
    LoadRecorder() { AppendLog("load"); }
    ~LoadRecorder() { AppendLog("unload"); }
} loadRecorder;

}  // namespace

extern "C" BTR_EXPORT int16_t BTR_CALL BTRCALL(uint16_t operation, void* positionBlock, void* dataBuffer,
                                               uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                                               int8_t keyNumber) {
    const uint32_t lengthIn = dataLength != nullptr ? *dataLength : 0;
    const std::string keyHex = keyBuffer != nullptr ? Hex(keyBuffer, keyLength < 16 ? keyLength : 16) : "-";
    const int occurrence = ++Occurrences()[operation];

    int16_t status;
    std::string how;
    ScriptedAnswer answer;
    if (FindScriptedAnswer(operation, occurrence, &answer)) {
        status = answer.status;
        if (answer.hasLength && dataLength != nullptr) {
            if (dataBuffer != nullptr && !answer.bytes.empty())
                std::memcpy(dataBuffer, answer.bytes.data(),
                            answer.bytes.size() < lengthIn ? answer.bytes.size() : lengthIn);
            *dataLength = answer.length;
        }
        how = "scripted";
    } else if (BtrCallFunction real = RealEngine()) {
        status = real(operation, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber);
        how = "forwarded";
    } else {
        status = btr::kStatusInvalidOperation;
        how = "unanswered";
    }
    const uint32_t lengthOut = dataLength != nullptr ? *dataLength : 0;

    char line[256];
    std::snprintf(line, sizeof line, "call op=%u len=%u key=%d keybuf=%s status=%d lenout=%u %s", operation, lengthIn,
                  keyNumber, keyHex.c_str(), status, lengthOut, how.c_str());
    AppendLog(line);
    return status;
}
