#include "settings.h"

#include <cctype>
#include <map>
#include <mutex>

#include "platform.h"
#include "tywreg.h"

namespace w3b {

namespace {

constexpr uint8_t kDefaultFileVersion = 0x70;

// Every setting there is: what the store holds for them is read at once.
constexpr const char* kSettingNames[] = {"W3BTRV7_FILE_VERSION", "W3BTRV7_SYNC", "W3BTRV7_NETWORK_FOLDERS",
                                         "W3BTRV7_LOCAL_FOLDERS", "W3BTRV7_TRACE"};
constexpr const char* kStoreApplication = "Pervasive";
constexpr const char* kStoreVersion = "11";
constexpr const char* kStoreSection = "w3btrv7";
constexpr size_t kLongestValue = 4096;

// The settings store's three functions this needs, found by name (POSIX) or by the ordinals
// the Windows DLL exports them under.
struct SettingsStore {
    int32_t(TYWREG_CALL* select)(const char*, const char*) = nullptr;
    int32_t(TYWREG_CALL* getSelection)(char*, char*) = nullptr;
    int32_t(TYWREG_CALL* readString)(uint32_t, const char*, const char*, const char*, char*, int32_t) = nullptr;
};

template <typename Function>
void Bind(platform::LibraryHandle library, const char* name, uint16_t ordinal, Function* function) {
    void* address = platform::FindSymbol(library, name);
    if (address == nullptr) address = platform::FindOrdinal(library, ordinal);
    *function = reinterpret_cast<Function>(address);
}

// Loaded once for the life of the process (the library that loads the record manager has it
// loaded already, so this finds that one).
const SettingsStore& Store() {
    static const SettingsStore store = [] {
        SettingsStore found;
        platform::LibraryHandle library = platform::LoadLibraryByName("TyWReg.dll");
        if (library == nullptr) return found;
        Bind(library, "TyWRegSelect", 1, &found.select);
        Bind(library, "TyWRegGetSelection", 2, &found.getSelection);
        Bind(library, "TyWRegReadString", 6, &found.readString);
        if (found.select == nullptr || found.getSelection == nullptr || found.readString == nullptr) {
            return SettingsStore();
        }
        return found;
    }();
    return store;
}

struct StoredValues {
    bool loaded = false;
    std::map<std::string, std::string> values;
};

std::mutex& StoredMutex() {
    static std::mutex* mutex = new std::mutex();  // never destroyed: calls may come during exit
    return *mutex;
}

StoredValues& Stored() {
    static StoredValues* stored = new StoredValues();
    return *stored;
}

void ReadStore(StoredValues* stored) {
    stored->values.clear();
    const SettingsStore& store = Store();
    if (store.readString == nullptr) return;
    // The selection is the store's one piece of state, shared with the library: put back as found.
    char application[TYWREG_SELECTION_SIZE] = {}, version[TYWREG_SELECTION_SIZE] = {};
    store.getSelection(application, version);
    store.select(kStoreApplication, kStoreVersion);
    std::string buffer(kLongestValue, '\0');
    for (const char* name : kSettingNames) {
        buffer.assign(kLongestValue, '\0');
        store.readString(TYWREG_HKEY_LOCAL_MACHINE, kStoreSection, name, "", buffer.data(),
                         static_cast<int32_t>(buffer.size()));
        buffer.resize(std::char_traits<char>::length(buffer.c_str()));
        if (!buffer.empty()) stored->values[name] = buffer;
    }
    store.select(application, version);
}

// The environment's value when it is set, else the settings store's.
std::string Setting(const char* name) {
    std::string value = platform::GetEnvironmentString(name);
    if (!value.empty()) return value;
    std::lock_guard<std::mutex> lock(StoredMutex());
    StoredValues& stored = Stored();
    if (!stored.loaded) {
        ReadStore(&stored);
        stored.loaded = true;
    }
    auto found = stored.values.find(name);
    return found == stored.values.end() ? std::string() : found->second;
}

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
    uint8_t version = ParseFileVersion(Setting("W3BTRV7_FILE_VERSION"));
    return version != 0 ? version : kDefaultFileVersion;
}

bool FullSyncSetting() {
    std::string value = Setting("W3BTRV7_SYNC");
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return value == "full";
}

std::string NetworkFoldersSetting() { return Setting("W3BTRV7_NETWORK_FOLDERS"); }

std::string LocalFoldersSetting() { return Setting("W3BTRV7_LOCAL_FOLDERS"); }

std::string TraceFileSetting() { return Setting("W3BTRV7_TRACE"); }

void ReloadSettings() {
    std::lock_guard<std::mutex> lock(StoredMutex());
    Stored().loaded = false;
}

}  // namespace w3b
