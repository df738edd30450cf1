#include "unformatted_file.h"

namespace tool {

namespace {

constexpr int kEndOfFile = 0x1A;  // Ctrl-Z
constexpr size_t kLongestLengthText = 7;

}  // namespace

bool UnformattedReader::Fail(const std::string& reason, std::string* error) const {
    *error = "record " + std::to_string(records_ + 1) + " (byte " + std::to_string(offset_) + "): " + reason;
    return false;
}

UnformattedReader::Next UnformattedReader::Read(std::vector<uint8_t>* record, std::string* error) {
    int c = in_.get();
    if (c == kEndOfFile) return Next::kEnd;
    if (c == std::char_traits<char>::eof()) {
        Fail("the file ends without its Ctrl-Z (cut short?)", error);
        return Next::kMalformed;
    }
    size_t length = 0, digits = 0;
    for (; c >= '0' && c <= '9'; c = in_.get()) {
        if (++digits > kLongestLengthText) {
            Fail("a record length of more than " + std::to_string(kLongestLengthText) + " digits", error);
            return Next::kMalformed;
        }
        length = length * 10 + static_cast<size_t>(c - '0');
    }
    if (digits == 0 || c != ',') {
        Fail("a record length in digits and a comma are wanted", error);
        return Next::kMalformed;
    }
    if (length > kLongestUnformattedRecord) {
        Fail("a record of " + std::to_string(length) + " bytes, more than a record can be", error);
        return Next::kMalformed;
    }
    record->resize(length);
    if (length > 0 && !in_.read(reinterpret_cast<char*>(record->data()), static_cast<std::streamsize>(length))) {
        Fail("its " + std::to_string(length) + " bytes run past the end of the file", error);
        return Next::kMalformed;
    }
    if (in_.get() != '\r' || in_.get() != '\n') {
        Fail("its " + std::to_string(length) + " bytes are not followed by CR LF", error);
        return Next::kMalformed;
    }
    offset_ += digits + 1 + length + 2;
    ++records_;
    return Next::kRecord;
}

void WriteUnformattedRecord(std::ostream& out, const uint8_t* data, size_t size) {
    out << size << ',';
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out << "\r\n";
}

void EndUnformatted(std::ostream& out) { out.put(static_cast<char>(kEndOfFile)); }

}  // namespace tool
