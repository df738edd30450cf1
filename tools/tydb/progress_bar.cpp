#include "progress_bar.h"

#include <cstdio>

namespace tool {
namespace {

constexpr int kBarWidth = 30;
constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// "1:05" or "2:03:09".
std::string Duration(int64_t seconds) {
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%d:%02d:%02d", static_cast<int>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    }
    return text;
}

}  // namespace

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
    // The rate so far, and the time the rest takes at it.
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (done > 0 && seconds > 0) {
        const double rate = static_cast<double>(done) / seconds;
        line += "  " + std::to_string(static_cast<int64_t>(rate)) + "/s  " +
                Duration(static_cast<int64_t>(static_cast<double>(total_ - done) / rate + 0.5)) + " left";
    }
    out_ << line << "  " << std::flush;
    drawn_ = true;
}

void ProgressBar::Finish() {
    if (!drawn_) return;
    // Blank the bar's line and go back to its start.
    out_ << "\r" << std::string(label_.size() + kBarWidth + 70, ' ') << "\r" << std::flush;
    drawn_ = false;
}

}  // namespace tool
