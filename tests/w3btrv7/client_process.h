// A second (third ...) process using the record manager, driven line by line: see
// tests/procs/w3btrv7_client.cpp for its commands. Records are 12 bytes, an id (key 0,
// unsigned, unique) and an 8-byte name.
#ifndef TYDB_TESTS_W3BTRV7_CLIENT_PROCESS_H
#define TYDB_TESTS_W3BTRV7_CLIENT_PROCESS_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "w3btrv7_test_util.h"

namespace w3btest {

class ClientProcess {
public:
    ClientProcess()
        : child_(std::make_unique<testsupport::ChildProcess>(testsupport::BuildPath("w3btrv7_client"),
                                                             std::vector<std::string>{})) {}
    // The client started through another program, given with its arguments, that runs the
    // client's path (the last argument) in a changed environment.
    explicit ClientProcess(std::vector<std::string> launcher)
        : child_(std::make_unique<testsupport::ChildProcess>(
              launcher.front(), std::vector<std::string>(launcher.begin() + 1, launcher.end()))) {}
    static std::vector<std::string> OnReadOnlyMount(const std::string& folder) {
        return testsupport::OnReadOnlyMount(folder, testsupport::BuildPath("w3btrv7_client"));
    }

    bool started() const { return child_->started(); }
    std::string Ask(const std::string& command, int timeoutMs = 10000) {
        if (!child_->Send(command)) return "not sent";
        return child_->ReadLine(timeoutMs).value_or("no answer");
    }
    // Sends a command whose answer comes later (a read that waits for a lock).
    bool Send(const std::string& command) { return child_->Send(command); }
    std::string Answer(int timeoutMs = 10000) { return child_->ReadLine(timeoutMs).value_or("no answer"); }
    void Kill() {
        child_->Kill();
        child_->Wait();
    }

private:
    std::unique_ptr<testsupport::ChildProcess> child_;
};

// A file of 12-byte records keyed by a unique 4-byte unsigned id at offset 0.
inline Definition IdFile() {
    Definition def(12, 1);
    def.segments.push_back(Segment(1, 4, btr::kKeyFlagModifiable, btr::kTypeUnsignedBinary));
    return def;
}

inline std::string IdRecord(uint32_t id, const std::string& name) {
    std::string record(12, ' ');
    std::memcpy(record.data(), &id, 4);
    std::memcpy(record.data() + 4, name.data(), std::min<size_t>(name.size(), 8));
    return record;
}

inline uint32_t IdOf(const Read& read) {
    uint32_t id = 0;
    if (read.record.size() >= 4) std::memcpy(&id, read.record.data(), 4);
    return id;
}

inline std::string IdKey(uint32_t id) { return U32(id); }

inline std::string GetCommand(uint16_t operation, uint32_t id) {
    return "get " + std::to_string(operation) + " 0 " + std::to_string(id);
}

}  // namespace w3btest

#endif  // TYDB_TESTS_W3BTRV7_CLIENT_PROCESS_H
