#include "progress_bar.h"

#include <filesystem>

namespace tool {
namespace {

constexpr int kBarWidth = 30;
constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

bool IsTerminal(int descriptor) {
    // The descriptor's link names the terminal device; pipes, files and systems without the
    // process file system say otherwise, and then no bar is drawn.
    std::error_code error;
    const auto target = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(descriptor), error);
    if (error) return false;
    const std::string name = target.string();
    return name.rfind("/dev/pts/", 0) == 0 || name.rfind("/dev/tty", 0) == 0 || name == "/dev/console";
}

ProgressBar::ProgressBar(std::ostream& out, bool terminal, std::string label, int64_t total)
    : out_(out),
      enabled_(terminal && total > 0),
      label_(std::move(label)),
      total_(total),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(int64_t done) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < kQuietStart || now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    Draw(done);
}

void ProgressBar::Draw(int64_t done) {
    if (done > total_) done = total_;
    const int filled = static_cast<int>(done * kBarWidth / total_);
    std::string line = "\r" + label_ + " [";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kBarWidth - filled), '.');
    line += "] " + std::to_string(done) + "/" + std::to_string(total_);
    out_ << line << std::flush;
    drawn_ = true;
}

void ProgressBar::Finish() {
    if (!drawn_) return;
    // Blank the bar's line and go back to its start.
    out_ << "\r" << std::string(label_.size() + kBarWidth + 30, ' ') << "\r" << std::flush;
    drawn_ = false;
}

}  // namespace tool
