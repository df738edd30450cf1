// index_request.h: one supplemental-key request on one open data file.
//
// Lives for one export call. It carries a private copy of the caller's key definition, caches
// the file's statistics, and performs the operations that act on the data file itself:
// building and dropping a supplemental key under a fixed key number and switching the file's
// current key. REQUIRES: the handle names an open file for the life of the request.
#ifndef TYDB_SUPIDX_INDEX_REQUEST_H
#define TYDB_SUPIDX_INDEX_REQUEST_H

#include <cstdint>

#include "btrcall.h"
#include "statistics_buffer.h"

namespace tydb {

class IndexRequest {
public:
    // Copies `length` bytes of `definition` when both are given and length > 0; otherwise the
    // request has no key definition. The caller's bytes are only read.
    IndexRequest(int16_t fileHandle, const void* definition, int16_t length);
    virtual ~IndexRequest();
    IndexRequest(const IndexRequest&) = delete;
    IndexRequest& operator=(const IndexRequest&) = delete;

    // True when a definition was handed over but its copy could not be allocated.
    bool CopyFailed() const { return copyFailed_; }

    // The file's statistics, read on first use and again whenever `refresh` is true. A failing
    // read is not reported: the buffer then holds what the read left (zeros).
    const StatisticsBuffer* Statistics(bool refresh);

    // The copy of the key definition, or nullptr.
    const BtrKeySpec* KeyDefinition() const { return keyDefinition_; }
    // Whole segment specifications the copy holds.
    int AvailableSegments() const;
    // Segments of the key definition; 0 without one, or when it does not end within its copy.
    int KeySegments() const;

    // The data file's name key and directory as the open-file table keeps them; "" when the
    // handle no longer names an open file.
    const char* FileName() const;
    const char* Directory() const;

    int16_t CurrentKey() const;
    void SetCurrentKey(int16_t keyNumber);

    // Builds the supplemental key `keyNumber` from the definition; on success it becomes the
    // file's current key. -1 for a handle that names no open file, else the record manager's
    // status.
    int16_t CreateKey(int16_t keyNumber);
    // Drops key `keyNumber`, the other keys keeping their numbers; when it was the current key,
    // key 0 becomes current. -1 or the record manager's status.
    int16_t DropKey(int16_t keyNumber);

    int16_t fileHandle() const { return fileHandle_; }

private:
    int16_t fileHandle_;
    BtrKeySpec* keyDefinition_ = nullptr;
    int16_t keyDefinitionLength_ = 0;
    StatisticsBuffer statistics_;
    bool statisticsStale_ = true;
    bool copyFailed_ = false;
};

}  // namespace tydb

#endif  // TYDB_SUPIDX_INDEX_REQUEST_H
