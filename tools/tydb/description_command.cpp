// The description route: tydb stat FILE --description prints a data file's definition as a
// description file; tydb create FILE --description DESC makes a file from one. Both go through
// the record manager's own Stat and Create, which carry the collating sequence.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "btr_file.h"
#include "commands.h"
#include "description_file.h"
#include "record_manager.h"
#include "status_text.h"
#include "write_guard.h"

namespace tool {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) Fail(1, "cannot read " + path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The folder of a file's path, its separator kept ("C:\\" stays a root); "" for the current one.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

void WriteBytes(const std::string& path, const void* bytes, size_t size) {
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    if (!out.flush()) Fail(1, "cannot write " + path);
}

// The collating sequence goes beside the description, where create --description looks for it.
// A different file of that name is never overwritten.
void WriteAcsFile(const std::string& path, const std::vector<uint8_t>& acs) {
    std::error_code ignored;
    if (std::filesystem::exists(std::filesystem::u8path(path), ignored)) {
        const std::string present = ReadAll(path);
        if (present.size() == acs.size() && std::equal(acs.begin(), acs.end(), present.begin())) return;
        Fail(1, path + " exists with another collating sequence; write the description into another folder");
    }
    WriteBytes(path, acs.data(), acs.size());
}

}  // namespace

void WriteDescriptionFile(const std::string& path, const std::string& descriptionPath) {
    RecordManager manager;
    std::vector<uint8_t> stat;
    {
        BtrFile file(manager.RequireEntry(), path);
        const int16_t opened = file.Open(btr::kOpenReadOnly);
        if (opened != 0) Fail(1, "cannot open " + path + ": status " + DescribeStatus(opened));
        const int16_t status = file.Stat(&stat);
        if (status != 0) Fail(1, "cannot read the definition of " + path + ": status " + DescribeStatus(status));
    }
    std::string text, acsName, error;
    std::vector<uint8_t> acs;
    if (!WriteDescription(stat, &text, &acs, &acsName, &error)) Fail(1, path + ": " + error);
    if (!acs.empty()) WriteAcsFile(FolderOf(descriptionPath) + acsName, acs);
    WriteBytes(descriptionPath, text.data(), text.size());
    std::cout << "Wrote the definition of " << path << " to " << descriptionPath
              << (acs.empty() ? "" : ", its collating sequence to " + FolderOf(descriptionPath) + acsName) << std::endl;
}

Description ReadDescriptionFile(const std::string& descriptionPath) {
    Description description;
    std::vector<std::string> warnings;
    std::string error;
    // name= files are found beside the description.
    const std::string folder = FolderOf(descriptionPath).empty() ? "." : FolderOf(descriptionPath);
    if (!ParseDescription(ReadAll(descriptionPath), folder, &description, &warnings, &error)) {
        Fail(2, descriptionPath + ": " + error);
    }
    for (const std::string& warning : warnings) std::cerr << descriptionPath << ": " << warning << std::endl;
    return description;
}

void CreateFromDescription(const std::string& path, const std::string& descriptionPath, bool replace, bool force) {
    Description description = ReadDescriptionFile(descriptionPath);
    CheckNoOtherComputersLock(path, force);
    replace = replace || description.replace;
    RecordManager manager;
    const int16_t status = BtrFile(manager.RequireEntry(), path).Create(description.createBuffer, replace);
    if (status == btr::kStatusFileAlreadyExists) {
        Fail(1, path + " exists; --replace replaces it with an empty file, losing every record in it");
    }
    if (status != 0)
        Fail(1, "cannot create " + path + " from " + descriptionPath + ": status " + DescribeStatus(status));
    std::cout << "Created " << path << " from " << descriptionPath << std::endl;
}

}  // namespace tool
