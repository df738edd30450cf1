// gateway.h: the one path from the library to the record manager.
//
// Every request of every subsystem goes through CallEngine. The record manager's library
// is loaded on the first request and unloaded by a Stop (operation 25); a library that
// cannot be loaded answers 20 on every request and is looked for again on the next one.
#ifndef TYDB_ENGINE_GATEWAY_H
#define TYDB_ENGINE_GATEWAY_H

#include <cstdint>

#include "btrcall.h"

namespace tydb {

// Name under which the record manager's library is loaded.
inline constexpr const char* kEngineLibraryName = "w3btrv7.dll";
inline constexpr const char* kEngineEntryPoint = "BTRCALL";
// Every request declares the key buffer as 255 bytes long.
inline constexpr uint8_t kGatewayKeyLength = 255;

// Sends one request. The caller's 16-bit data length travels as a 32-bit value (0 when
// `dataLength` is null) and the low 16 bits of the returned length are written back through
// `dataLength` when given. Returns the record manager's status, or 20 when it cannot be
// loaded (the caller's buffers are then untouched).
int16_t CallEngine(uint16_t operation, void* positionBlock, void* dataBuffer, uint16_t* dataLength, void* keyBuffer,
                   int8_t keyNumber);

// The record manager's entry point, loading its library first when needed; nullptr when it
// cannot be loaded.
BtrCallFunction LoadEngine();

// Unloads the record manager's library when it is loaded.
void UnloadEngine();

// Reads the record manager's folder ("PATH" of the settings store) into `buffer`, which holds
// kEngineDirectorySize bytes. The buffer is not cleared first.
inline constexpr int kEngineDirectorySize = 771;
void ReadEngineDirectory(char* buffer);

// Puts `directory` in front of the process's PATH unless it already is one of PATH's folders
// (a whole element, compared as the file system compares names).
void PrependToPath(const char* directory);

}  // namespace tydb

#endif  // TYDB_ENGINE_GATEWAY_H
