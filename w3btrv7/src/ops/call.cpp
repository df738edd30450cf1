#include "ops/call.h"

#include <cstring>
#include <filesystem>

#include "platform.h"

namespace w3b {

int16_t PathFromKeyBuffer(const Call& call, std::string* path) {
    if (call.key == nullptr) return btr::kStatusInvalidFileName;
    size_t limit = call.keyLength < btr::kMaxPathLength ? call.keyLength : btr::kMaxPathLength;
    const void* end = std::memchr(call.key, 0, limit);
    if (end == nullptr || end == call.key) return btr::kStatusInvalidFileName;
    *path =
        CallerPath(std::string(reinterpret_cast<const char*>(call.key), static_cast<const uint8_t*>(end) - call.key));
    return btr::kStatusSuccess;
}

std::string CallerPath(const std::string& given) {
    std::string path = platform::NativePath(given.c_str());
    // A relative path starts from the directory Set Directory chose, if any.
    const std::string& directory = Engine::Get().Directory();
    if (!directory.empty() && std::filesystem::path(path).is_relative()) {
        path = (std::filesystem::path(directory) / path).string();
    }
    return path;
}

int16_t PrepareRecord(const FileDef& def, const Call& call, std::string* record) {
    if (call.data == nullptr || call.dataLength == nullptr) return btr::kStatusDataLengthError;
    uint32_t length = *call.dataLength;
    uint32_t fixed = def.RecordLength();
    if (def.VariableLength() && !def.KeyOnly()) {
        if (length < fixed || length > kMaxRecordLength) return btr::kStatusDataLengthError;
    } else if (length != fixed) {
        return btr::kStatusDataLengthError;
    }
    record->assign(reinterpret_cast<const char*>(call.data), length);
    if (def.VariableLength() && (def.spec.fileFlags & btr::kFileFlagBlankTruncation) != 0) {
        size_t end = record->size();
        while (end > fixed && (*record)[end - 1] == ' ') --end;
        record->resize(end);
    }
    return btr::kStatusSuccess;
}

const KeyInfo* KeyOf(const FileDef& def, int keyNumber) { return def.Key(keyNumber); }

uint32_t ReadU32(const uint8_t* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

int16_t CallKey(const FileDef& def, const Call& call, int8_t noKey, const KeyInfo** key) {
    *key = nullptr;
    if (call.keyNumber == noKey) return btr::kStatusSuccess;
    *key = KeyOf(def, call.keyNumber);
    if (*key == nullptr) return btr::kStatusInvalidKeyNumber;
    if (!call.KeyFits((*key)->length)) return btr::kStatusKeyBufferTooShort;
    return btr::kStatusSuccess;
}

void WriteU32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }

uint16_t ReadU16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

void WriteU16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value & 0xFF);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void AppendU16(std::string* out, uint16_t value) {
    out->push_back(static_cast<char>(value & 0xFF));
    out->push_back(static_cast<char>(value >> 8));
}

void AppendU32(std::string* out, uint32_t value) {
    AppendU16(out, static_cast<uint16_t>(value & 0xFFFF));
    AppendU16(out, static_cast<uint16_t>(value >> 16));
}

}  // namespace w3b
