// The test suite's PostgreSQL server as the temporary folders use it, on every platform, and the
// network-share mode of the SQLite store forced on them.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>

#include "test_support.h"

namespace testsupport {

void ServeFolderWhenAsked(const std::string& folder) {
    const char* store = std::getenv("TYDB_TEST_STORE");
    if (store != nullptr && std::string(store) == "network") {
        // Every temporary folder of the run (and of its helper processes, which inherit the
        // setting) is kept as if other workstations reached it over the network.
        const size_t separator = folder.find_last_of("/\\");
        static ScopedEnv networkFolders("W3BTRV7_NETWORK_FOLDERS", folder.substr(0, separator));
        return;
    }
    if (store == nullptr || std::string(store) != "server") return;
    std::optional<std::string> connection = ReadFileBytes(TestServerConnectionFile());
    if (!connection || connection->empty()) {
        throw std::runtime_error("TYDB_TEST_STORE=server: the test server did not start (no " +
                                 TestServerConnectionFile() + ")");
    }
    if (connection->back() == '\n') connection->pop_back();
    std::random_device random;
    char schema[32];
    std::snprintf(schema, sizeof schema, "t%08x%08x", random(), random());
    if (!WriteFileBytes(folder + "/w3btrv7.server", "connection = " + *connection + "\nschema = " + schema + "\n")) {
        throw std::runtime_error("cannot write w3btrv7.server");
    }
}

}  // namespace testsupport
