// lock_reader.h: what a directory's workstation lock file says, read without disturbing it:
// no sharing mode is asked for and its holders are found without taking a lock, so a running
// application is never disturbed. Used by `tydb lock` and before every write.
#ifndef TYDB_TOOLS_LOCK_READER_H
#define TYDB_TOOLS_LOCK_READER_H

#include <string>

namespace tool {

struct LockReport {
    std::string path;  // the lock file's name, as the library forms it
    bool present = false;
    std::string computer;    // the name written in it
    bool truncated = false;  // longer than a computer name can be
    bool heldKnown = false;  // whether the system could tell if it is held open
    bool held = false;       // held open: the lock is live
    std::string thisComputer;

    bool own() const { return present && !truncated && computer == thisComputer; }
    // Another computer's lock that is live, or that may be (the system cannot tell).
    bool heldByAnother() const { return present && !own() && (held || !heldKnown); }
};

// The lock file of `directory` (a '\' is put before the file name unless it ends in a separator).
LockReport ExamineLock(const std::string& directory);

}  // namespace tool

#endif  // TYDB_TOOLS_LOCK_READER_H
