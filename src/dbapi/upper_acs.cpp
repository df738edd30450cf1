// The one collating sequence the library supplies: "UPPER", letters a to z sort as A to Z.
#include <cstring>

#include "btrcall.h"
#include "status.h"
#include "tydb.h"

namespace {

constexpr char kUpperAcsName[] = "UPPER   ";
static_assert(sizeof kUpperAcsName - 1 == sizeof(BtrAcs::name), "the name fills its 8 bytes, no terminator");

}  // namespace

extern "C" TYDB_API int32_t TYDB_CALL DbBuildUpperAcs(void* buffer) {
    if (buffer == nullptr) return tydb::kStatusNoBuffer;
    BtrAcs acs;
    acs.signature = btr::kAcsUserDefined;
    std::memcpy(acs.name, kUpperAcsName, sizeof acs.name);
    for (int byte = 0; byte < 256; ++byte) {
        acs.map[byte] = static_cast<uint8_t>(byte >= 'a' && byte <= 'z' ? byte - ('a' - 'A') : byte);
    }
    std::memcpy(buffer, &acs, sizeof acs);
    return tydb::kStatusSuccess;
}
