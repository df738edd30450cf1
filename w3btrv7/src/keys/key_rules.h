// key_rules.h: which key types exist and which lengths each allows (internal to the key codec).
#ifndef W3BTRV7_KEYS_KEY_RULES_H
#define W3BTRV7_KEYS_KEY_RULES_H

#include <cstdint>

namespace w3b::keycodec {

// True for the type codes the record manager can index.
bool IsKnownKeyType(uint8_t type);

// True when a segment of `type` may be `length` bytes long (always within 1..255). The
// encoder orders a segment whose length its type does not allow as plain unsigned bytes, so a
// definition that skipped validation can never make it read past the segment.
bool LengthAllowedForType(uint8_t type, int length);

}  // namespace w3b::keycodec

#endif  // W3BTRV7_KEYS_KEY_RULES_H
