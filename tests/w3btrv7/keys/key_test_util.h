// Helpers shared by the key codec tests: building key definitions and checking an order under
// both the encoder and the independent comparator.
#ifndef TYDB_TESTS_W3BTRV7_KEYS_KEY_TEST_UTIL_H
#define TYDB_TESTS_W3BTRV7_KEYS_KEY_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "key_compare_oracle.h"
#include "keys/key_codec.h"

namespace keytest {

using Bytes = std::vector<uint8_t>;

inline w3b::SegmentDef Segment(uint8_t type, uint16_t length, bool descending = false,
                               const uint8_t* collation = nullptr) {
    w3b::SegmentDef segment;
    segment.type = type;
    segment.length = length;
    segment.descending = descending;
    segment.collation = collation;
    return segment;
}

// A key of the given segments laid out one after the other from record offset 0.
inline w3b::KeyDef Key(std::vector<w3b::SegmentDef> segments) {
    w3b::KeyDef key;
    uint16_t offset = 0;
    for (w3b::SegmentDef& segment : segments) {
        segment.offset = offset;
        offset = static_cast<uint16_t>(offset + segment.length);
    }
    key.segments = std::move(segments);
    return key;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

template <typename T>
Bytes LittleEndian(T value) {
    Bytes bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

inline std::string Encode(const w3b::KeyDef& key, const Bytes& value) {
    std::string out;
    w3b::EncodeKeyValue(key, value.data(), &out);
    return out;
}

inline int Sign(int value) { return (value > 0) - (value < 0); }

inline int EncodedOrder(const w3b::KeyDef& key, const Bytes& a, const Bytes& b) {
    const std::string ea = Encode(key, a);
    const std::string eb = Encode(key, b);
    return Sign(ea.compare(eb));
}

inline std::string Hex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
        text += ' ';
    }
    return text;
}

// Each value sorts strictly before the next, by the comparator and by the encodings.
inline void ExpectAscending(const w3b::KeyDef& key, const std::vector<Bytes>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        for (size_t j = 0; j < values.size(); ++j) {
            const int expected = Sign(static_cast<int>(i) - static_cast<int>(j));
            EXPECT_EQ(Sign(keyoracle::CompareKeyValues(key, values[i].data(), values[j].data())), expected)
                << "comparator: " << Hex(values[i]) << "vs " << Hex(values[j]);
            EXPECT_EQ(EncodedOrder(key, values[i], values[j]), expected)
                << "encoding: " << Hex(values[i]) << "vs " << Hex(values[j]);
        }
    }
}

// The two values are one key value: the comparator says equal and the encodings are identical.
inline void ExpectSameKey(const w3b::KeyDef& key, const Bytes& a, const Bytes& b) {
    EXPECT_EQ(keyoracle::CompareKeyValues(key, a.data(), b.data()), 0) << Hex(a) << "vs " << Hex(b);
    EXPECT_EQ(Encode(key, a), Encode(key, b)) << Hex(a) << "vs " << Hex(b);
}

}  // namespace keytest

#endif  // TYDB_TESTS_W3BTRV7_KEYS_KEY_TEST_UTIL_H
