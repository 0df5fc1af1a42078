#include "app/progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/console.h"

namespace pixolune {

namespace {

class TerminalSurface : public ProgressSurface {
 public:
  void draw(const std::string& text) override { consoleShowLiveLine(text); }
  void clear() override { consoleClearLiveLine(); }
  int width() const override { return consoleWidth(); }
};

// Columns are counted as UTF-8 code points: the bytes that do not continue
// a sequence.
bool startsCodePoint(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

size_t codePoints(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), startsCodePoint));
}

// The first `count` code points.
std::string headOf(const std::string& text, size_t count) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i)
    if (startsCodePoint(text[i]) && seen++ == count) return text.substr(0, i);
  return text;
}

// The last `count` code points.
std::string tailOf(const std::string& text, size_t count) {
  size_t seen = 0;
  for (size_t i = text.size(); i-- > 0;)
    if (startsCodePoint(text[i]) && ++seen == count) return text.substr(i);
  return text;
}

// "0:08", "12:30", "1:02:03": seconds rounded up.
std::string durationText(double seconds) {
  const long total = static_cast<long>(std::ceil(std::max(0.0, seconds)));
  char buf[48];
  if (total >= 3600) std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else std::snprintf(buf, sizeof buf, "%ld:%02ld", total / 60, total % 60);
  return buf;
}

std::string rateText(double per_second) {
  char buf[48];
  std::snprintf(buf, sizeof buf, per_second < 10 ? "%.1f files/s" : "%.0f files/s", per_second);
  return buf;
}

// A path is shown only with room for this many of its last characters.
constexpr size_t kShortestPath = 8;

}  // namespace

ProgressSurface& terminalProgressSurface() {
  static TerminalSurface surface;
  return surface;
}

std::string printableText(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

ProgressLine::ProgressLine(int total, ProgressSurface& surface, Clock clock)
    : total_(total), surface_(surface), clock_(std::move(clock)), start_(clock_()) {
  MutexLock hold(&lock_);
  redraw(true);
}

ProgressLine::~ProgressLine() { finish(); }

void ProgressLine::fileStarted(const std::string& path) {
  MutexLock hold(&lock_);
  in_hand_.push_back(path);
  redraw(false);
}

void ProgressLine::fileFinished(const std::string& path) {
  MutexLock hold(&lock_);
  ++done_;
  auto at = std::find(in_hand_.begin(), in_hand_.end(), path);
  if (at != in_hand_.end()) in_hand_.erase(at);
  redraw(false);
}

void ProgressLine::tick() {
  MutexLock hold(&lock_);
  redraw(false);
}

void ProgressLine::finish() {
  MutexLock hold(&lock_);
  if (finished_) return;
  finished_ = true;
  surface_.clear();
}

std::string ProgressLine::text() const {
  std::string text = std::to_string(done_) + " of " + std::to_string(total_);
  const double elapsed = std::chrono::duration<double>(clock_() - start_).count();
  if (done_ > 0 && elapsed > 0) {
    const double rate = done_ / elapsed;
    text += "  " + rateText(rate) + "  " + durationText((total_ - done_) / rate) + " left";
  }
  const size_t limit = static_cast<size_t>(std::max(1, surface_.width() - 1));
  if (codePoints(text) > limit) return headOf(text, limit);
  if (in_hand_.empty()) return text;
  const std::string path = printableText(in_hand_.front());
  const size_t room = limit - codePoints(text) - std::min<size_t>(2, limit - codePoints(text));
  if (codePoints(path) <= room) return text + "  " + path;
  if (room < 3 + kShortestPath) return text;
  return text + "  ..." + tailOf(path, room - 3);
}

void ProgressLine::redraw(bool at_once) {
  if (finished_) return;
  const auto now = clock_();
  if (!at_once && now - drawn_at_ < kRedrawInterval) return;
  std::string next = text();
  if (!at_once && next == drawn_) return;
  surface_.draw(next);
  drawn_ = std::move(next);
  drawn_at_ = now;
}

ProgressTicker::ProgressTicker(ProgressLine& line, std::chrono::milliseconds interval)
    : thread_([this, &line, interval] {
        MutexLock hold(&lock_);
        for (;;) {
          const auto due = std::chrono::steady_clock::now() + interval;
          while (!stopping_ && std::chrono::steady_clock::now() < due) wake_.waitUntil(&lock_, due);
          if (stopping_) return;
          line.tick();
        }
      }) {}

ProgressTicker::~ProgressTicker() {
  {
    MutexLock hold(&lock_);
    stopping_ = true;
  }
  wake_.notifyAll();
  thread_.join();
}

}  // namespace pixolune
