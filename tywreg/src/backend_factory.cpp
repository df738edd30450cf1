// backend_factory.cpp: which store the exports use.
#include <memory>

#include "ini_backend.h"
#include "platform.h"
#include "settings_backend.h"
#if defined(_WIN32)
#include "win32/registry_backend.h"
#endif

namespace tywreg {

namespace {

// Names the settings file for tests and for installations that keep settings elsewhere.
constexpr char kFileVariable[] = "TYWREG_FILE";

#if !defined(_WIN32)
constexpr char kSystemFile[] = "/etc/tywreg.ini";
#endif

}  // namespace

std::unique_ptr<SettingsBackend> OpenSettingsBackend() {
    std::string file = platform::GetEnvironmentString(kFileVariable);
    if (!file.empty()) return std::make_unique<IniBackend>(platform::NativePath(file.c_str()));
#if defined(_WIN32)
    return std::make_unique<RegistryBackend>();
#else
    return std::make_unique<IniBackend>(kSystemFile);
#endif
}

}  // namespace tywreg
