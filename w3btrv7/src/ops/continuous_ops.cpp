// Continuous Operation: key number 0 keeps the files named in the data buffer (paths separated
// by commas, NUL-terminated) in continuous operation, 1 ends it for every file, 2 for the files
// named. What the mode promises is the store's (FileConnection::BeginContinuous).
#include <cstring>
#include <vector>

#include "ops/call.h"

namespace w3b {

namespace {

constexpr int8_t kBegin = 0;
constexpr int8_t kEndAll = 1;
constexpr int8_t kEndNamed = 2;

// The paths of the data buffer; 22 without a terminator within its length, 11 for an empty
// list or an empty name in it.
int16_t PathsOf(const Call& call, std::vector<std::string>* paths) {
    uint32_t length = call.DataCapacity();
    const void* end = length > 0 ? std::memchr(call.data, 0, length) : nullptr;
    if (end == nullptr) return btr::kStatusDataLengthError;
    std::string list(reinterpret_cast<const char*>(call.data), static_cast<const uint8_t*>(end) - call.data);
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string name = list.substr(start, comma - start);
        size_t first = name.find_first_not_of(' '), last = name.find_last_not_of(' ');
        if (first == std::string::npos) return btr::kStatusInvalidFileName;
        paths->push_back(CallerPath(name.substr(first, last - first + 1)));
        start = comma + 1;
    }
    return btr::kStatusSuccess;
}

}  // namespace

int16_t DoContinuous(Call& call) {
    if (call.keyNumber == kEndAll) return Engine::Get().EndContinuous(nullptr);
    if (call.keyNumber != kBegin && call.keyNumber != kEndNamed) return btr::kStatusInvalidKeyNumber;
    std::vector<std::string> paths;
    if (int16_t status = PathsOf(call, &paths); status != btr::kStatusSuccess) return status;
    if (call.keyNumber == kEndNamed) return Engine::Get().EndContinuous(&paths);
    // Bringing the files up to date first needs what the transaction holds.
    if (Engine::Get().CurrentTransaction().active) return btr::kStatusOperationNotAllowed;
    return Engine::Get().BeginContinuous(paths);
}

}  // namespace w3b
