// progress_bar.h: a one-line progress bar for long loads, drawn only for a person watching.
#ifndef TYDB_TOOLS_PROGRESS_BAR_H
#define TYDB_TOOLS_PROGRESS_BAR_H

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace tool {

// Draws "label [#####.....] 1234/5000  410/s  0:09 left" on `out`, redrawn in place, once the
// work has taken more than a second; quick work and output that is not a terminal
// (platform::IsTerminal) get no bar at all. Finish() (or the destructor) clears the line so that
// the next output starts clean.
class ProgressBar {
public:
    ProgressBar(std::ostream& out, bool terminal, std::string label, int64_t total);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Update(int64_t done);
    void Finish();

private:
    void Draw(int64_t done);

    std::ostream& out_;
    bool enabled_;
    std::string label_;
    int64_t total_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    bool drawn_ = false;
};

}  // namespace tool

#endif  // TYDB_TOOLS_PROGRESS_BAR_H
