// A second user of the supplemental index manager for multi-process tests: a process of its own
// that loads libtydb.so (and so the record manager) and works on the same data directory.
// Reads one command per line from standard input and answers one line each:
//   open PATH                  "handle <h>" or "status <n>"
//   activate H POS:LEN[,...]   "status <n>"
//   deactivate H | purge H | clear H
//                              "status <n>"
//   cycle H N POS:LEN[,...]    N times an activation and a deactivation of the current key;
//                              "done <activations that gave 0> <deactivations that gave 0>
//                              <first other status or 0>"
//   lock PATH NAME KEY         opens the registry PATH and reads the entry (NAME, KEY) with a
//                              multiple-record no-wait lock, holding it; "status <n>"
//   release                    closes that registry; "status <n>"
//   holdlog PATH               opens PATH for exclusive appending and keeps it; "status 0|1"
//   droplog                    closes it; "status 0"
// The settings (and so the record manager) come from the environment the test sets.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "btrcall.h"
#include "platform.h"
#include "tydb.h"

namespace {

std::vector<BtrKeySpec> ParseDefinition(const std::string& text) {
    std::vector<BtrKeySpec> key;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        BtrKeySpec segment = {};
        int position = 0, length = 0;
        if (std::sscanf(part.c_str(), "%d:%d", &position, &length) != 2) continue;
        segment.position = static_cast<int16_t>(position);
        segment.length = static_cast<int16_t>(length);
        segment.flags = btr::kKeyFlagDuplicates | btr::kKeyFlagSegmented;
        key.push_back(segment);
    }
    if (!key.empty()) key.back().flags &= static_cast<uint16_t>(~btr::kKeyFlagSegmented);
    return key;
}

int32_t Activate(int16_t handle, const std::vector<BtrKeySpec>& key) {
    return DbActivateKey(handle, static_cast<int16_t>(key.size() * sizeof(BtrKeySpec)), key.data());
}

}  // namespace

int main() {
    int16_t registry = 0;
    platform::File log;
    std::string line;
    std::cout << "ready" << std::endl;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        int handle = 0;
        if (command == "open") {
            std::string path;
            in >> path;
            int16_t opened = 0;
            const int32_t status = DbOpen(&opened, path.c_str(), 0, 0);
            if (status == 0) {
                std::cout << "handle " << opened << std::endl;
            } else {
                std::cout << "status " << status << std::endl;
            }
        } else if (command == "activate") {
            std::string text;
            in >> handle >> text;
            std::cout << "status " << Activate(static_cast<int16_t>(handle), ParseDefinition(text)) << std::endl;
        } else if (command == "deactivate") {
            in >> handle;
            std::cout << "status " << DbDeactivateKey(static_cast<int16_t>(handle)) << std::endl;
        } else if (command == "purge") {
            in >> handle;
            std::cout << "status " << DbPurgeKey(static_cast<int16_t>(handle)) << std::endl;
        } else if (command == "clear") {
            in >> handle;
            std::cout << "status " << DbClearKeyRegistry(static_cast<int16_t>(handle)) << std::endl;
        } else if (command == "cycle") {
            int count = 0;
            std::string text;
            in >> handle >> count >> text;
            const auto key = ParseDefinition(text);
            int activated = 0, deactivated = 0;
            int32_t other = 0;
            for (int i = 0; i < count; ++i) {
                const int32_t status = Activate(static_cast<int16_t>(handle), key);
                if (status != 0) {
                    if (other == 0) other = status;
                    continue;
                }
                ++activated;
                const int32_t released = DbDeactivateKey(static_cast<int16_t>(handle));
                if (released == 0) {
                    ++deactivated;
                } else if (other == 0) {
                    other = released;
                }
            }
            std::cout << "done " << activated << ' ' << deactivated << ' ' << other << std::endl;
        } else if (command == "lock") {
            std::string path, name;
            int keyNumber = 0;
            in >> path >> name >> keyNumber;
            int32_t status = DbOpen(&registry, path.c_str(), 0, 0);
            if (status == 0) {
                uint8_t key[256] = {};
                std::strncpy(reinterpret_cast<char*>(key), name.c_str(), 15);
                const uint16_t number = static_cast<uint16_t>(keyNumber);
                std::memcpy(key + 16, &number, sizeof number);
                uint8_t record[34];
                status = DbRead(btr::kOpGetEqual + btr::kBiasMultipleNoWaitLock, registry, key, record, 0);
            }
            std::cout << "status " << status << std::endl;
        } else if (command == "release") {
            std::cout << "status " << DbClose(registry) << std::endl;
        } else if (command == "holdlog") {
            std::string path;
            in >> path;
            const bool held =
                platform::File::OpenAppendExclusive(path.c_str(), true, &log) == platform::FileStatus::kOk;
            std::cout << "status " << (held ? 0 : 1) << std::endl;
        } else if (command == "droplog") {
            log.Close();
            std::cout << "status 0" << std::endl;
        } else {
            std::cout << "status unknown" << std::endl;
        }
    }
    return 0;
}
