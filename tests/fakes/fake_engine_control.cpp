#include "fake_engine_control.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace testsupport {

std::string FakeEngineDir() { return BuildDir() + "/fakes"; }
std::string RealEngineDir() { return BuildDir() + "/w3btrv7"; }

void WriteEngineSettings(const std::string& settingsFile, const std::string& engineDir,
                         const std::vector<std::string>& settingsLines) {
    std::ofstream out(settingsFile, std::ios::trunc);
    out << "[HKEY_LOCAL_MACHINE\\Pervasive\\11]\n";
    out << "PATH=" << engineDir << "\n";
    if (!settingsLines.empty()) {
        out << "[HKEY_LOCAL_MACHINE\\Pervasive\\11\\Settings]\n";
        for (const auto& line : settingsLines) out << line << "\n";
    }
}

FakeEngine::FakeEngine(const TempDir& dir, const std::vector<std::string>& settingsLines)
    : settingsFile_(dir.File("settings.ini")),
      logFile_(dir.File("fake-engine.log")),
      scriptFile_(dir.File("fake-engine.script")) {
    WriteEngineSettings(settingsFile_, FakeEngineDir(), settingsLines);
    WriteFileBytes(scriptFile_, "");
    env_.push_back(std::make_unique<ScopedEnv>("TYWREG_FILE", settingsFile_));
    env_.push_back(std::make_unique<ScopedEnv>("FAKE_ENGINE_LOG", logFile_));
    env_.push_back(std::make_unique<ScopedEnv>("FAKE_ENGINE_SCRIPT", scriptFile_));
}

FakeEngine::~FakeEngine() = default;

void FakeEngine::Script(uint16_t operation, const std::string& occurrence, int16_t status) {
    std::ofstream out(scriptFile_, std::ios::app);
    out << operation << ' ' << occurrence << ' ' << status << '\n';
}

void FakeEngine::Script(uint16_t operation, const std::string& occurrence, int16_t status, uint32_t length,
                        const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    std::ofstream out(scriptFile_, std::ios::app);
    out << operation << ' ' << occurrence << ' ' << status << ' ' << length << ' ' << hex << '\n';
}

void FakeEngine::ClearScript() { WriteFileBytes(scriptFile_, ""); }

std::vector<FakeCall> FakeEngine::Calls() const {
    std::vector<FakeCall> calls;
    std::ifstream in(logFile_);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("call ", 0) != 0) continue;
        FakeCall call;
        unsigned op = 0, len = 0, lenOut = 0;
        int key = 0, status = 0;
        char keyHex[64] = {}, how[32] = {};
        if (std::sscanf(line.c_str(), "call op=%u len=%u key=%d keybuf=%63s status=%d lenout=%u %31s", &op, &len, &key,
                        keyHex, &status, &lenOut, how) != 7)
            continue;
        call.operation = static_cast<uint16_t>(op);
        call.dataLength = len;
        call.keyNumber = key;
        call.keyHex = keyHex;
        call.status = status;
        call.dataLengthOut = lenOut;
        call.how = how;
        calls.push_back(call);
    }
    return calls;
}

std::vector<FakeCall> FakeEngine::CallsOf(uint16_t operation) const {
    std::vector<FakeCall> selected;
    for (const auto& call : Calls())
        if (call.operation == operation) selected.push_back(call);
    return selected;
}

static int CountLines(const std::string& file, const std::string& word) {
    std::ifstream in(file);
    std::string line;
    int count = 0;
    while (std::getline(in, line))
        if (line == word) ++count;
    return count;
}

int FakeEngine::Loads() const { return CountLines(logFile_, "load"); }
int FakeEngine::Unloads() const { return CountLines(logFile_, "unload"); }
void FakeEngine::ClearLog() { WriteFileBytes(logFile_, ""); }

}  // namespace testsupport
