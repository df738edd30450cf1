// A second client of the record manager for multi-process tests. Reads one command per line
// from standard input and answers "status <n>" for each. Records are 12 bytes: a 4-byte id
// (key 0) and an 8-byte name.
//   open <path> [mode]        insert <id> <name>       first <key>         close
//   get <operation> <key> <id>  (a Get with any biases; the id is the search value of key 0)
//   update <id> <name>        delete                   unlock <key> [position]
//   write <operation> <id> <name>  (an Insert with any biases, e.g. 502)
//   call <operation> [key number] [data]  (an operation without a file, e.g. Begin Transaction)
//   index <key number>        (a duplicate key over the 8-byte name at position 5)
//   drop <key number>         exit
//   block <n>                 (later commands use position block n, 0 to 3; 0 at the start)
//   create <path> [mode]      (a file of such records; mode 0 replaces what is there, -1 not)
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "btrcall.h"

namespace {

std::string MakeRecord(uint32_t id, const std::string& name) {
    std::string record(12, ' ');
    std::memcpy(record.data(), &id, 4);
    std::memcpy(record.data() + 4, name.data(), std::min<size_t>(name.size(), 8));
    return record;
}

}  // namespace

int main() {
    uint8_t blocks[4][btr::kPositionBlockSize] = {};
    uint8_t* positionBlock = blocks[0];
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        int16_t status = -1;
        char key[256] = {};
        uint32_t length = 0;
        if (command == "block") {
            unsigned n = 0;
            in >> n;
            positionBlock = blocks[n % 4];
            status = 0;
        } else if (command == "create") {
            std::string path;
            int mode = 0;
            in >> path >> mode;
            std::strncpy(key, path.c_str(), 255);
            struct {
                BtrFileSpec file;
                BtrKeySpec id;
            } def{};
            def.file.recordLength = 12;
            def.file.pageSize = 4096;
            def.file.keyCount = 1;
            def.id.position = 1;
            def.id.length = 4;
            def.id.flags = btr::kKeyFlagModifiable | btr::kKeyFlagExtendedType;
            def.id.extendedType = btr::kTypeUnsignedBinary;
            length = sizeof def;
            uint8_t scratch[btr::kPositionBlockSize] = {};
            status = BTRCALL(btr::kOpCreate, scratch, &def, &length, key, 255, static_cast<int8_t>(mode));
        } else if (command == "open") {
            std::string path;
            int mode = 0;
            in >> path >> mode;
            std::strncpy(key, path.c_str(), 255);
            status = BTRCALL(btr::kOpOpen, positionBlock, nullptr, &length, key, 255, static_cast<int8_t>(mode));
        } else if (command == "insert" || command == "update") {
            uint32_t id = 0;
            std::string name;
            in >> id >> name;
            std::string record = MakeRecord(id, name);
            length = 12;
            status = BTRCALL(command == "insert" ? btr::kOpInsert : btr::kOpUpdate, positionBlock, record.data(),
                             &length, key, 255, 0);
        } else if (command == "write") {
            unsigned operation = 0;
            uint32_t id = 0;
            std::string name;
            in >> operation >> id >> name;
            std::string record = MakeRecord(id, name);
            length = 12;
            status = BTRCALL(static_cast<uint16_t>(operation), positionBlock, record.data(), &length, key, 255, 0);
        } else if (command == "delete") {
            status = BTRCALL(btr::kOpDelete, positionBlock, nullptr, &length, key, 255, 0);
        } else if (command == "get") {
            unsigned operation = 0;
            int keyNumber = 0;
            uint32_t id = 0;
            in >> operation >> keyNumber >> id;
            std::memcpy(key, &id, 4);
            char record[64];
            length = sizeof record;
            status = BTRCALL(static_cast<uint16_t>(operation), positionBlock, record, &length, key, 255,
                             static_cast<int8_t>(keyNumber));
        } else if (command == "unlock") {
            int keyNumber = 0;
            uint32_t position = 0;
            in >> keyNumber >> position;
            char data[4];
            std::memcpy(data, &position, 4);
            length = 4;
            status = BTRCALL(btr::kOpUnlock, positionBlock, data, &length, key, 255, static_cast<int8_t>(keyNumber));
        } else if (command == "call") {
            unsigned operation = 0;
            int keyNumber = 0;
            std::string text;
            in >> operation >> keyNumber >> text;
            std::string data = text + '\0';
            length = text.empty() ? 0 : static_cast<uint32_t>(data.size());
            status = BTRCALL(static_cast<uint16_t>(operation), positionBlock, text.empty() ? nullptr : data.data(),
                             &length, key, 255, static_cast<int8_t>(keyNumber));
        } else if (command == "first") {
            int key_number = 0;
            in >> key_number;
            char record[64];
            length = sizeof record;
            status =
                BTRCALL(btr::kOpGetFirst, positionBlock, record, &length, key, 255, static_cast<int8_t>(key_number));
        } else if (command == "index") {
            int number = 0;
            in >> number;
            BtrKeySpec spec{};
            spec.position = 5;
            spec.length = 8;
            spec.flags = btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable | btr::kKeyFlagExtendedType;
            spec.extendedType = btr::kTypeString;
            length = sizeof spec;
            status = BTRCALL(btr::kOpCreateIndex, positionBlock, &spec, &length, key, 255,
                             static_cast<int8_t>(number | btr::kKeyNumberExact));
        } else if (command == "drop") {
            int number = 0;
            in >> number;
            status = BTRCALL(btr::kOpDropIndex, positionBlock, key, &length, key, 255,
                             static_cast<int8_t>(number | btr::kKeyNumberExact));
        } else if (command == "close") {
            status = BTRCALL(btr::kOpClose, positionBlock, nullptr, &length, key, 255, 0);
        } else if (command == "exit") {
            return 0;
        }
        std::printf("status %d\n", status);
        std::fflush(stdout);
    }
    return 0;
}
