#include "ops/extended_descriptor.h"

#include <cstring>

#include "btrcall.h"
#include "keys/key_rules.h"

namespace w3b {

namespace {

// Comparison code bits beside the comparison itself (1..6).
constexpr uint8_t kCompareWithField = 32;
constexpr uint8_t kCaseInsensitive = 64;
constexpr uint8_t kUseAcs = 128;
constexpr uint8_t kComparisonMask = 0x07;
constexpr uint8_t kReservedBits = 0x18;

enum Connector : uint8_t { kLastTerm = 0, kAnd = 1, kOr = 2 };

constexpr size_t kHeaderSize = 4;
constexpr size_t kTermHeadSize = 7;
constexpr size_t kFieldSize = 4;
constexpr uint32_t kMaxExtractLength = 65535;  // a returned record's length is 16 bits

bool IsStringType(uint8_t type) {
    return type == btr::kTypeString || type == btr::kTypeLstring || type == btr::kTypeZstring;
}

// Reads the descriptor from its front, never past its end.
class DescriptorReader {
public:
    DescriptorReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Has(size_t bytes) const { return bytes <= size_ - at_; }
    uint8_t U8() { return data_[at_++]; }
    uint16_t U16() {
        uint16_t value = static_cast<uint16_t>(data_[at_] | (data_[at_ + 1] << 8));
        at_ += 2;
        return value;
    }
    std::string Bytes(size_t count) {
        std::string bytes(reinterpret_cast<const char*>(data_ + at_), count);
        at_ += count;
        return bytes;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

bool FitsRecord(uint32_t offset, uint32_t length, const DescriptorLimits& limits) {
    return offset + length <= limits.recordLength;
}

// The comparison of a term, its type and length checked as for a key segment.
// `last`: the term's connector says no term follows.
int16_t ReadTermHead(DescriptorReader& in, const DescriptorLimits& limits, FilterTerm* term, uint8_t* code,
                     bool* last) {
    if (!in.Has(kTermHeadSize)) return btr::kStatusInvalidGetExpression;
    uint8_t type = in.U8();
    uint16_t length = in.U16();
    term->offset = in.U16();
    *code = in.U8();
    uint8_t connector = in.U8();
    if (!keycodec::IsKnownKeyType(type) || !keycodec::LengthAllowedForType(type, length)) {
        return btr::kStatusInvalidGetExpression;
    }
    uint8_t comparison = *code & kComparisonMask;
    if (comparison < 1 || comparison > 6 || (*code & kReservedBits) != 0 || connector > kOr) {
        return btr::kStatusInvalidGetExpression;
    }
    term->comparison = static_cast<FilterTerm::Comparison>(comparison);
    term->orNext = connector == kOr;
    SegmentDef segment;
    segment.length = length;
    segment.type = type;
    segment.flags = btr::kKeyFlagExtendedType;
    if (IsStringType(type) && (*code & kUseAcs) != 0) {
        if (limits.acs == nullptr) return btr::kStatusInvalidGetExpression;
        segment.collation = limits.acs;
    } else if (IsStringType(type) && (*code & kCaseInsensitive) != 0) {
        segment.collation = CaseFoldMap();
    }
    term->field.segments.assign(1, segment);
    *last = connector == kLastTerm;
    return btr::kStatusSuccess;
}

int16_t ReadTerm(DescriptorReader& in, const DescriptorLimits& limits, FilterTerm* term, bool* last) {
    uint8_t code = 0;
    if (int16_t status = ReadTermHead(in, limits, term, &code, last); status != btr::kStatusSuccess) return status;
    const uint16_t length = term->field.segments[0].length;
    if (!FitsRecord(term->offset, length, limits)) return btr::kStatusInvalidExtractor;
    term->withField = (code & kCompareWithField) != 0;
    if (term->withField) {
        if (!in.Has(2)) return btr::kStatusInvalidGetExpression;
        term->otherOffset = in.U16();
        if (!FitsRecord(term->otherOffset, length, limits)) return btr::kStatusInvalidExtractor;
    } else {
        if (!in.Has(length)) return btr::kStatusInvalidGetExpression;
        term->value = in.Bytes(length);
    }
    return btr::kStatusSuccess;
}

int16_t ReadFilter(DescriptorReader& in, const DescriptorLimits& limits, ExtendedDescriptor* out) {
    if (!in.Has(4)) return btr::kStatusInvalidGetExpression;
    uint16_t rejectLimit = in.U16();
    out->rejectLimit = rejectLimit != 0 ? rejectLimit : kDefaultRejectLimit;
    uint16_t count = in.U16();
    out->terms.clear();
    for (uint16_t i = 0; i < count; ++i) {
        FilterTerm term;
        bool last = false;
        if (int16_t status = ReadTerm(in, limits, &term, &last); status != btr::kStatusSuccess) return status;
        // Every term but the last joins the next one; the last joins none.
        if (last != (i + 1 == count)) return btr::kStatusInvalidGetExpression;
        out->terms.push_back(std::move(term));
    }
    return btr::kStatusSuccess;
}

int16_t ReadExtractor(DescriptorReader& in, const DescriptorLimits& limits, ExtendedDescriptor* out) {
    if (!in.Has(4)) return btr::kStatusInvalidGetExpression;
    out->wanted = in.U16();
    uint16_t count = in.U16();
    if (out->wanted == 0) return btr::kStatusInvalidGetExpression;
    if (count == 0) return btr::kStatusInvalidExtractor;
    out->fields.clear();
    out->extractLength = 0;
    for (uint16_t i = 0; i < count; ++i) {
        if (!in.Has(kFieldSize)) return btr::kStatusInvalidGetExpression;
        ExtractField field;
        field.length = in.U16();
        field.offset = in.U16();
        if (field.length == 0 || !FitsRecord(field.offset, field.length, limits)) {
            return btr::kStatusInvalidExtractor;
        }
        out->extractLength += field.length;
        if (out->extractLength > kMaxExtractLength) return btr::kStatusInvalidExtractor;
        out->fields.push_back(field);
    }
    return btr::kStatusSuccess;
}

bool Holds(FilterTerm::Comparison comparison, int order) {
    switch (comparison) {
        case FilterTerm::Comparison::kEqual: return order == 0;
        case FilterTerm::Comparison::kGreater: return order > 0;
        case FilterTerm::Comparison::kLess: return order < 0;
        case FilterTerm::Comparison::kNotEqual: return order != 0;
        case FilterTerm::Comparison::kGreaterOrEqual: return order >= 0;
        case FilterTerm::Comparison::kLessOrEqual: return order <= 0;
    }
    return false;
}

// The field against its value, in the order of the field's type (as a key of that type sorts).
bool TermHolds(const FilterTerm& term, const uint8_t* record, std::string* field, std::string* other) {
    EncodeKeyValue(term.field, record + term.offset, field);
    const uint8_t* value =
        term.withField ? record + term.otherOffset : reinterpret_cast<const uint8_t*>(term.value.data());
    EncodeKeyValue(term.field, value, other);
    int order = field->compare(*other);
    return Holds(term.comparison, order);
}

}  // namespace

uint64_t ExtendedDescriptor::ResultLength(uint32_t records) const {
    return 2 + uint64_t{records} * (6 + extractLength);
}

bool ExtendedDescriptor::Accepts(const uint8_t* record) const {
    if (terms.empty()) return true;
    // Left to right: each connector joins the result so far with the next term.
    bool result = TermHolds(terms[0], record, &field_, &other_);
    for (size_t i = 1; i < terms.size(); ++i) {
        bool orNext = terms[i - 1].orNext;
        if (orNext ? result : !result) continue;
        result = TermHolds(terms[i], record, &field_, &other_);
    }
    return result;
}

void ExtendedDescriptor::Extract(const uint8_t* record, std::string* out) const {
    for (const ExtractField& field : fields)
        out->append(reinterpret_cast<const char*>(record + field.offset), field.length);
}

int16_t ParseExtendedDescriptor(const uint8_t* buffer, const DescriptorLimits& limits, ExtendedDescriptor* out) {
    if (buffer == nullptr || limits.bufferLength < kHeaderSize) return btr::kStatusInvalidGetExpression;
    uint16_t total = static_cast<uint16_t>(buffer[0] | (buffer[1] << 8));
    if (total < kHeaderSize || total > limits.bufferLength) return btr::kStatusInvalidGetExpression;
    if (std::memcmp(buffer + 2, "EG", 2) == 0) {
        out->start = ExtendedStart::kAfterCurrent;
    } else if (std::memcmp(buffer + 2, "UC", 2) == 0) {
        out->start = ExtendedStart::kWithCurrent;
    } else {
        return btr::kStatusInvalidGetExpression;
    }
    DescriptorReader in(buffer + kHeaderSize, total - kHeaderSize);
    if (int16_t status = ReadFilter(in, limits, out); status != btr::kStatusSuccess) return status;
    if (int16_t status = ReadExtractor(in, limits, out); status != btr::kStatusSuccess) return status;
    if (out->ResultLength(out->wanted) > limits.bufferLength) return btr::kStatusWorkSpaceTooSmall;
    return btr::kStatusSuccess;
}

}  // namespace w3b
