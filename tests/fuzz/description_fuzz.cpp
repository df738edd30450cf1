// description_fuzz: the tool's readers of the files that bring a definition and records over
// from another installation, on arbitrary bytes: the description file and the unformatted save.
//
// Save file: the records read, written again, are exactly the bytes read; a malformed file says
// where.
//
// A refused description says why (a message, "line N: ..." when a line is to blame). An accepted
// one is a Create buffer of whole segments whose keys the file specification counts; written out
// again as the Stat reply of such a file would be and read back, it gives the same buffer.
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "btrcall.h"
#include "description_file.h"
#include "unformatted_file.h"
#include "fuzz_support.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Escape;

// The Create buffer as Stat would answer it: every segment names its key.
std::vector<uint8_t> AsStatReply(std::vector<uint8_t> buffer) {
    BtrFileSpec file;
    std::memcpy(&file, buffer.data(), sizeof file);
    const bool numbered = (file.fileFlags & btr::kFileFlagSpecifyKeyNumbers) != 0;
    int key = 0;
    for (size_t at = sizeof file; key < file.keyCount; at += sizeof(BtrKeySpec)) {
        BtrKeySpec segment;
        std::memcpy(&segment, buffer.data() + at, sizeof segment);
        if (!numbered) segment.keyNumber = static_cast<int8_t>(key);
        std::memcpy(buffer.data() + at, &segment, sizeof segment);
        if ((segment.flags & btr::kKeyFlagSegmented) == 0) ++key;
    }
    return buffer;
}

// Every record of a save file, and how the file ended.
tool::UnformattedReader::Next ReadAll(const std::string& bytes, std::vector<std::vector<uint8_t>>* records,
                                      std::string* error) {
    std::istringstream in(bytes);
    tool::UnformattedReader reader(in);
    std::vector<uint8_t> record;
    tool::UnformattedReader::Next next;
    while ((next = reader.Read(&record, error)) == tool::UnformattedReader::Next::kRecord) records->push_back(record);
    return next;
}

void CheckSaveFile(const std::string& bytes) {
    std::vector<std::vector<uint8_t>> records, reread;
    std::string error;
    const tool::UnformattedReader::Next end = ReadAll(bytes, &records, &error);
    Check(end == tool::UnformattedReader::Next::kEnd || error.find("(byte ") != std::string::npos,
          "a malformed save file without its place: " + error);
    std::ostringstream again;
    for (const auto& record : records) tool::WriteUnformattedRecord(again, record.data(), record.size());
    tool::EndUnformatted(again);
    Check(ReadAll(again.str(), &reread, &error) == tool::UnformattedReader::Next::kEnd && reread == records,
          "the records written again do not read back: " + Escape(bytes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckSaveFile(text);
    tool::Description parsed;
    std::vector<std::string> warnings;
    std::string error;
    // No collating sequence file exists there: alternate keys are refused, never read.
    if (!tool::ParseDescription(text, "/nonexistent-folder/", &parsed, &warnings, &error)) {
        Check(!error.empty(), "a refusal without a reason for " + Escape(text));
        return 0;
    }
    const std::vector<uint8_t>& buffer = parsed.createBuffer;
    Check(buffer.size() >= sizeof(BtrFileSpec) && (buffer.size() - sizeof(BtrFileSpec)) % sizeof(BtrKeySpec) == 0,
          "a buffer of part of a segment for " + Escape(text));
    std::string written, acsName;
    std::vector<uint8_t> acs;
    if (!tool::WriteDescription(AsStatReply(buffer), &written, &acs, &acsName, &error)) {
        Check(false, "an accepted description cannot be written again: " + error + " for " + Escape(text));
    }
    tool::Description reread;
    warnings.clear();
    Check(tool::ParseDescription(written, "/nonexistent-folder/", &reread, &warnings, &error) && warnings.empty(),
          "the description written does not read back (" + error + "): " + Escape(written));
    Check(reread.createBuffer == buffer, "a different definition after writing and reading: " + Escape(written));
    return 0;
}
