// tydb activate FILE POS:LEN[,POS:LEN...]: makes a key with those segments the file's key, as
// the application does: a permanent key, a registered supplemental key (one more user) or a
// new one. The reference stays counted in the registry until `tydb deactivate`.
#include <iostream>
#include <memory>

#include "commands.h"
#include "key_options.h"
#include "status_text.h"
#include "tydb.h"
#include "write_guard.h"

namespace tool {
namespace {

void RunActivate(const std::string& path, const std::string& keyText, bool force) {
    std::vector<BtrKeySpec> definition;
    std::string error;
    if (!ParseKey(keyText, &definition, &error)) Fail(2, "invalid key " + keyText + ": " + error);
    CheckNoOtherComputersLock(path, force);
    int16_t handle = 0;
    const int32_t opened = DbOpen(&handle, path.c_str(), 0, 0);
    if (opened != 0) Fail(1, "cannot open " + path + ": status " + DescribeStatus(opened));
    const auto length = static_cast<int16_t>(definition.size() * sizeof(BtrKeySpec));
    const int32_t status = DbActivateKey(handle, length, definition.data());
    int32_t keyNumber = -1;
    DbGetOverRideDef(handle, &keyNumber, nullptr);
    DbClose(handle);
    if (status != 0) Fail(1, "cannot activate " + keyText + " on " + path + ": status " + DescribeStatus(status));
    std::cout << "Key " << keyNumber << " of " << path << " is active" << std::endl;
}

}  // namespace

void AddActivateCommand(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    auto key = std::make_shared<std::string>();
    auto* command = app.add_subcommand("activate",
                                       "Switch a data file to a key with the given segments, building a "
                                       "supplemental key when it has none");
    command->add_option("FILE", *path, "Path of the data file")->required();
    command->add_option("KEY", *key, "Segments as POS:LEN[,POS:LEN...]")->required();
    auto force = std::make_shared<bool>(false);
    AddForceFlag(command, force.get());
    command->callback([path, key, force] { RunActivate(*path, *key, *force); });
}

}  // namespace tool
