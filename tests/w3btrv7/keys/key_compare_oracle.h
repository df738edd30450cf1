// key_compare_oracle.h: the key tests' oracle for key order, against which the encoders are
// checked.
#ifndef TYDB_TESTS_W3BTRV7_KEYS_KEY_COMPARE_ORACLE_H
#define TYDB_TESTS_W3BTRV7_KEYS_KEY_COMPARE_ORACLE_H

#include <cstdint>

#include "keys/key_codec.h"

namespace keyoracle {

// Compares two key values (as key buffers hold them) by the record manager's rules, segment by
// segment: negative, zero or positive. It works on the values directly and shares no code with
// the encoders, so a test can check one against the other.
int CompareKeyValues(const w3b::KeyDef& key, const uint8_t* a, const uint8_t* b);

}  // namespace keyoracle

#endif  // TYDB_TESTS_W3BTRV7_KEYS_KEY_COMPARE_ORACLE_H
