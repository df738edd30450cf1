// key_validation.cpp: which segment specifications the record manager accepts.
#include "keys/key_codec.h"
#include "keys/key_rules.h"

namespace w3b {
namespace keycodec {

bool IsKnownKeyType(uint8_t type) {
    switch (type) {
        case btr::kTypeString:
        case btr::kTypeInteger:
        case btr::kTypeFloat:
        case btr::kTypeDate:
        case btr::kTypeTime:
        case btr::kTypeDecimal:
        case btr::kTypeMoney:
        case btr::kTypeLogical:
        case btr::kTypeNumeric:
        case btr::kTypeBfloat:
        case btr::kTypeLstring:
        case btr::kTypeZstring:
        case btr::kTypeUnsignedBinary:
        case btr::kTypeAutoincrement:
        case btr::kTypeNumericSts:
        case btr::kTypeNumericSa:
        case btr::kTypeCurrency:
        case btr::kTypeTimestamp: return true;
        default: return false;
    }
}

bool LengthAllowedForType(uint8_t type, int length) {
    if (length < 1 || length > btr::kMaxKeyLength) return false;
    switch (type) {
        case btr::kTypeInteger: return length == 1 || length == 2 || length == 4 || length == 8;
        case btr::kTypeFloat:
        case btr::kTypeBfloat: return length == 4 || length == 8;
        case btr::kTypeDate:
        case btr::kTypeTime: return length == 4;
        case btr::kTypeLogical: return length == 1 || length == 2;
        case btr::kTypeLstring:
        case btr::kTypeZstring:
        case btr::kTypeNumericSts: return length >= 2;
        case btr::kTypeAutoincrement: return length == 2 || length == 4;
        case btr::kTypeCurrency:
        case btr::kTypeTimestamp: return length == 8;
        default: return true;
    }
}

}  // namespace keycodec

namespace {

bool IsStringType(uint8_t type) {
    return type == btr::kTypeString || type == btr::kTypeLstring || type == btr::kTypeZstring;
}

}  // namespace

uint8_t EffectiveType(const BtrKeySpec& spec) {
    if (spec.flags & btr::kKeyFlagExtendedType) return spec.extendedType;
    return (spec.flags & btr::kKeyFlagBinary) ? btr::kTypeUnsignedBinary : btr::kTypeString;
}

int16_t ValidateSegment(const BtrKeySpec& spec) {
    const bool extended = (spec.flags & btr::kKeyFlagExtendedType) != 0;
    const uint8_t type = EffectiveType(spec);
    if (extended && !keycodec::IsKnownKeyType(type)) return btr::kStatusKeyTypeError;
    if (!keycodec::LengthAllowedForType(type, spec.length)) return btr::kStatusInvalidKeyLength;
    // Old-style binary is compared in 16-bit words, so it only exists in whole words.
    const bool oldBinary = !extended && (spec.flags & btr::kKeyFlagBinary);
    if (oldBinary && spec.length % 2 != 0) return btr::kStatusInvalidKeyLength;

    if (type == btr::kTypeAutoincrement) {
        // The engine assigns autoincrement values one per record, so they must stand alone
        // and be unique.
        if (spec.flags & (btr::kKeyFlagDuplicates | btr::kKeyFlagSegmented)) return btr::kStatusKeyTypeError;
    }

    const bool collated = (spec.flags & (btr::kKeyFlagAlternateSequence | btr::kKeyFlagNoCase)) != 0;
    if (collated && !IsStringType(type)) return btr::kStatusInconsistentKeyFlags;
    // 0x0800 only means something as part of the named-sequence combination 0x0C20.
    if ((spec.flags & btr::kKeyFlagNamedAcs) && (spec.flags & (btr::kKeyFlagAlternateSequence | btr::kKeyFlagNoCase)) !=
                                                    (btr::kKeyFlagAlternateSequence | btr::kKeyFlagNoCase)) {
        return btr::kStatusInconsistentKeyFlags;
    }
    return btr::kStatusSuccess;
}

}  // namespace w3b
