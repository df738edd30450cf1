#include "settings.h"

#include <cctype>

#include "platform.h"

namespace w3b {

namespace {

constexpr uint8_t kDefaultFileVersion = 0x70;

}  // namespace

uint8_t ParseFileVersion(const std::string& text) {
    // One or two digits, a point, one digit: the version byte has a nibble for each part.
    size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot > 2 || dot + 2 != text.size()) return 0;
    int major = 0;
    for (size_t i = 0; i < dot; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return 0;
        major = major * 10 + (text[i] - '0');
    }
    char minor = text[dot + 1];
    if (!std::isdigit(static_cast<unsigned char>(minor))) return 0;
    if (major < 1 || major > 15) return 0;
    return static_cast<uint8_t>((major << 4) | (minor - '0'));
}

uint8_t FileVersionSetting() {
    uint8_t version = ParseFileVersion(platform::GetEnvironmentString("W3BTRV7_FILE_VERSION"));
    return version != 0 ? version : kDefaultFileVersion;
}

bool FullSyncSetting() {
    std::string value = platform::GetEnvironmentString("W3BTRV7_SYNC");
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return value == "full";
}

std::string NetworkFoldersSetting() { return platform::GetEnvironmentString("W3BTRV7_NETWORK_FOLDERS"); }

std::string LocalFoldersSetting() { return platform::GetEnvironmentString("W3BTRV7_LOCAL_FOLDERS"); }

std::string TraceFileSetting() { return platform::GetEnvironmentString("W3BTRV7_TRACE"); }

}  // namespace w3b
