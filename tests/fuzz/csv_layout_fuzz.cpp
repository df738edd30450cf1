// csv_layout_fuzz: the tool's record-layout parser, its field conversions and its CSV reader,
// on arbitrary text.
//
// Input: one byte (unused by the parsers; it varies the record bytes tried), two bytes for the
// length of the layout text, the layout text, and the rest is CSV text.
//
// Layout: an accepted layout obeys its own rules (named fields of the types' lengths, within a
// record, not overlapping, no name twice) and reads back the same from the text it is written
// as; a refused one says on which line. Fields: every value a field can be loaded with is
// exported as text that loads back to the same bytes, and so is every byte pattern of an integer,
// unsigned, hex or finite float field. CSV: rows start on increasing lines; a row read without
// error, written out again field by field, reads back as the same fields; and each CSV value
// loaded into a layout field and exported loads back to the same bytes.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "csv.h"
#include "fuzz_support.h"
#include "record_layout.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Escape;
using fuzzsupport::Reader;
using tool::FieldType;
using tool::LayoutField;
using tool::RecordLayout;

constexpr int kLongestRecord = 65535;

// Writes `fields` as one CSV line and reads it back: the fields must come back as they were.
void CheckRowRoundTrip(const std::vector<std::string>& fields, const std::string& what) {
    std::string line = tool::CsvLine(fields);
    std::vector<tool::CsvRow> again = tool::ParseCsv(line + "\n");
    Check(again.size() == 1 && again[0].error.empty() && again[0].fields == fields,
          what + " \"" + Escape(line) + "\" does not read back as the fields it was written from");
}

bool LengthFits(FieldType type, int length) {
    switch (type) {
        case FieldType::kInteger:
        case FieldType::kUnsigned: return length == 1 || length == 2 || length == 4 || length == 8;
        case FieldType::kFloat: return length == 4 || length == 8;
        case FieldType::kZstring: return length >= 2;
        default: return length >= 1;
    }
}

std::string LengthText(const LayoutField& field) { return field.rest ? "*" : std::to_string(field.length); }

std::string Describe(const LayoutField& field) {
    return "field " + Escape(field.name) + " " + std::to_string(field.offset) + " " + LengthText(field) + " " +
           tool::FieldTypeName(field);
}

void CheckLayout(const RecordLayout& layout) {
    Check(!layout.fields.empty(), "an accepted layout has no field");
    int end = 0;
    for (size_t i = 0; i < layout.fields.size(); ++i) {
        const LayoutField& field = layout.fields[i];
        Check(!field.name.empty() && field.name.find_first_of(" \t,\r\n#") == std::string::npos,
              "accepted field name \"" + Escape(field.name) + "\"");
        Check(field.offset >= 0 && (field.rest || field.length >= 1) && field.offset + field.length <= kLongestRecord,
              Describe(field) + " lies outside a record");
        Check(field.rest ? field.type == FieldType::kText || field.type == FieldType::kHex
                         : field.type != FieldType::kText && LengthFits(field.type, field.length),
              Describe(field) + " has a length its type cannot have");
        Check(layout.Find(field.name) == static_cast<int>(i), Describe(field) + " is named twice");
        for (size_t j = 0; j < i; ++j) {
            const LayoutField& other = layout.fields[j];
            const bool apart = field.rest   ? !other.rest && other.offset + other.length <= field.offset
                               : other.rest ? field.offset + field.length <= other.offset
                                            : field.offset + field.length <= other.offset ||
                                                  other.offset + other.length <= field.offset;
            Check(apart, Describe(field) + " overlaps " + Describe(other));
        }
        end = std::max(end, field.offset + field.length);
    }
    Check(layout.End() == end, "End() is not one past the last byte used");

    // An export's first row names the fields; the load must read the same names from it.
    std::vector<std::string> names;
    for (const LayoutField& field : layout.fields) names.push_back(field.name);
    CheckRowRoundTrip(names, "the header");

    // The layout written as text reads back the same.
    std::string text;
    for (const LayoutField& field : layout.fields) {
        text += field.name + " " + std::to_string(field.offset) + " " + LengthText(field) + " " +
                tool::FieldTypeName(field) + "\n";
    }
    RecordLayout again;
    std::string error;
    Check(tool::ParseLayout(text, &again, &error), "the layout written out is refused: " + error);
    Check(again.fields.size() == layout.fields.size(), "the layout written out reads back with other fields");
    for (size_t i = 0; i < layout.fields.size(); ++i) {
        const LayoutField &a = layout.fields[i], &b = again.fields[i];
        Check(a.name == b.name && a.offset == b.offset && a.length == b.length && a.type == b.type &&
                  a.rest == b.rest && a.accounting == b.accounting && a.scale == b.scale,
              Describe(a) + " reads back as " + Describe(b));
    }
}

std::string FieldBytes(const LayoutField& field, const std::vector<uint8_t>& record) {
    return std::string(record.begin() + field.offset, record.begin() + field.offset + field.length);
}

// Loads `text` into the field; returns whether the field took it.
bool Load(const LayoutField& field, const std::string& text, std::vector<uint8_t>* record) {
    std::vector<uint8_t> before = *record;
    std::string error;
    bool loaded = tool::EncodeField(field, text, record->data(), &error);
    if (!loaded) {
        Check(*record == before, Describe(field) + " changed the record when refusing \"" + Escape(text) + "\"");
        Check(!error.empty(), Describe(field) + " refused \"" + Escape(text) + "\" without a reason");
    }
    return loaded;
}

// A value loaded into the field is exported as text that loads back to the same bytes.
void CheckLoadedValue(const LayoutField& field, const std::vector<uint8_t>& loaded) {
    std::string text = tool::DecodeField(field, loaded.data());
    std::vector<uint8_t> record(loaded.size(), 0);
    tool::ClearField(field, record.data());
    std::string what = Describe(field) + " exported \"" + Escape(text) + "\" for bytes \"" +
                       Escape(FieldBytes(field, loaded)) + "\", which it does not load back";
    Check(Load(field, text, &record), what);
    Check(FieldBytes(field, record) == FieldBytes(field, loaded),
          Describe(field) + " loads its own export \"" + Escape(text) + "\" as \"" + Escape(FieldBytes(field, record)) +
              "\" instead of \"" + Escape(FieldBytes(field, loaded)) + "\"");
}

// Bytes of one of the record manager's types: a value exports as text that loads back to bytes
// with the same text (a type may have several forms of one value: a sign half-byte C or F);
// bytes that hold no value export as #invalid(...), which no load takes.
void CheckAccountingBytes(const LayoutField& field, const std::vector<uint8_t>& record) {
    bool valid = false;
    const std::string text = tool::DecodeField(field, record.data(), &valid);
    std::vector<uint8_t> again(record.size(), 0);
    const bool loaded = Load(field, text, &again);
    Check(loaded == valid, Describe(field) + (valid ? " does not load its export \"" : " loads its invalid export \"") +
                               Escape(text) + "\" of bytes \"" + Escape(FieldBytes(field, record)) + "\"");
    if (loaded) {
        Check(tool::DecodeField(field, again.data()) == text,
              Describe(field) + " exports \"" + Escape(text) + "\" loaded back as \"" +
                  Escape(tool::DecodeField(field, again.data())) + "\"");
    }
}

// The rest of a record: any bytes export as text that loads back to the same bytes.
void CheckRestBytes(const LayoutField& field, const std::vector<uint8_t>& record) {
    const std::string text = tool::DecodeRest(field, record.data(), record.size());
    std::string bytes, error;
    Check(tool::EncodeRest(field, text, &bytes, &error), Describe(field) + " does not load its export: " + error);
    const std::string wanted = record.size() > static_cast<size_t>(field.offset)
                                   ? std::string(record.begin() + field.offset, record.end())
                                   : std::string();
    Check(bytes == wanted, Describe(field) + " loads its export \"" + Escape(text) + "\" as other bytes");
}

// Any byte pattern of a number or hex field exports as text that loads back to it.
void CheckAnyBytes(const LayoutField& field, const std::vector<uint8_t>& record) {
    if (field.rest) return CheckRestBytes(field, record);
    if (field.type == FieldType::kAccounting) return CheckAccountingBytes(field, record);
    if (field.type == FieldType::kFloat) {
        double value;
        if (field.length == 4) {
            float narrow;
            std::memcpy(&narrow, record.data() + field.offset, 4);
            value = narrow;
        } else {
            std::memcpy(&value, record.data() + field.offset, 8);
        }
        if (!std::isfinite(value)) return;
    } else if (field.type != FieldType::kInteger && field.type != FieldType::kUnsigned &&
               field.type != FieldType::kHex) {
        return;
    }
    CheckLoadedValue(field, record);
}

void CheckCsv(const std::string& text, const RecordLayout* layout, uint8_t variety) {
    std::vector<tool::CsvRow> rows = tool::ParseCsv(text);
    int lines = 1;
    for (char c : text) lines += c == '\n' ? 1 : 0;
    int previous = 0;
    for (const tool::CsvRow& row : rows) {
        std::string where = "row on line " + std::to_string(row.line) + " after line " + std::to_string(previous) +
                            " of " + std::to_string(lines);
        Check(row.line > previous && row.line <= lines, where);
        previous = row.line;
        Check(!row.fields.empty() || !row.error.empty(), "a row without fields or error");
        if (!row.error.empty()) continue;

        // Written out again, the row reads back as the same fields.
        CheckRowRoundTrip(row.fields, "the row");

        if (layout == nullptr) continue;
        std::vector<uint8_t> record(static_cast<size_t>(layout->End()), variety);
        for (size_t i = 0; i < row.fields.size() && i < layout->fields.size(); ++i) {
            const LayoutField& field = layout->fields[i];
            if (field.rest) continue;  // only a whole load writes the rest of a record
            if (Load(field, row.fields[i], &record)) CheckLoadedValue(field, record);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    uint8_t variety = in.Byte();
    size_t layoutLength = std::min<size_t>(in.U16(), in.Remaining());
    std::string layoutText = in.Bytes(layoutLength);
    std::string csvText = in.Bytes(in.Remaining());

    RecordLayout layout;
    std::string error;
    bool parsed = tool::ParseLayout(layoutText, &layout, &error);
    if (parsed) {
        CheckLayout(layout);
        // Record bytes from the CSV text, so that the fields see every kind of pattern.
        // A few bytes past the fields: the rest of a record, where a layout has a field for it.
        std::vector<uint8_t> record(static_cast<size_t>(layout.End()) + variety % 32);
        for (size_t i = 0; i < record.size(); ++i) {
            record[i] = csvText.empty() ? variety : static_cast<uint8_t>(csvText[(i + variety) % csvText.size()]);
        }
        for (const LayoutField& field : layout.fields) CheckAnyBytes(field, record);
    } else {
        Check(error.rfind("line ", 0) == 0 || error == "the layout names no field",
              "a refused layout's message does not say where: " + error);
    }
    CheckCsv(csvText, parsed ? &layout : nullptr, variety);
    return 0;
}
