// Test-side control of the recording fake record manager (build/fakes/libw3btrv7.so).
#ifndef TYDB_TESTS_FAKES_FAKE_ENGINE_CONTROL_H
#define TYDB_TESTS_FAKES_FAKE_ENGINE_CONTROL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace testsupport {

// One request as the fake saw it.
struct FakeCall {
    uint16_t operation = 0;
    uint32_t dataLength = 0;  // on the way in
    int keyNumber = 0;
    std::string keyHex;  // first 16 bytes of the key buffer, hex
    int status = 0;
    uint32_t dataLengthOut = 0;
    std::string how;  // "scripted", "forwarded" or "unanswered"
};

// Folder of the fake record manager and of the real one, in the build.
std::string FakeEngineDir();
std::string RealEngineDir();

// Writes a settings file (the format of the settings store) whose "PATH" names `engineDir`,
// plus any extra "Settings" entries given as name=value lines.
void WriteEngineSettings(const std::string& settingsFile, const std::string& engineDir,
                         const std::vector<std::string>& settingsLines = {});

// Points this process at the fake: a settings file in `dir` selecting the fake's folder,
// and the fake's log and script files in `dir`. Everything is undone by the destructor.
class FakeEngine {
public:
    explicit FakeEngine(const TempDir& dir, const std::vector<std::string>& settingsLines = {});
    ~FakeEngine();

    // Adds a scripted answer: the `occurrence`-th request with `operation` ("*" for every one).
    void Script(uint16_t operation, const std::string& occurrence, int16_t status);
    // Scripted answer that also returns `bytes` with data length `length`.
    void Script(uint16_t operation, const std::string& occurrence, int16_t status, uint32_t length,
                const std::string& bytes);
    void ClearScript();

    std::vector<FakeCall> Calls() const;
    // Calls with this exact operation code.
    std::vector<FakeCall> CallsOf(uint16_t operation) const;
    int Loads() const;
    int Unloads() const;
    void ClearLog();

    const std::string& settingsFile() const { return settingsFile_; }
    const std::string& logFile() const { return logFile_; }

private:
    std::string settingsFile_;
    std::string logFile_;
    std::string scriptFile_;
    std::vector<std::unique_ptr<ScopedEnv>> env_;
};

}  // namespace testsupport

#endif  // TYDB_TESTS_FAKES_FAKE_ENGINE_CONTROL_H
