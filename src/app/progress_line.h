// The console's progress display of a conversion run: one line at the
// bottom of the terminal, redrawn in place while the files are converted.
#ifndef PIXOLUNE_APP_PROGRESS_LINE_H_
#define PIXOLUNE_APP_PROGRESS_LINE_H_

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <thread>

#include "platform/mutex.h"

namespace pixolune {

/// Where a progress line draws. Abstract so that tests can record what is
/// drawn and choose the width.
class ProgressSurface {
 public:
  virtual ~ProgressSurface() = default;
  /// Shows `text` in place of what was drawn before.
  virtual void draw(const std::string& text) = 0;
  /// Removes what was drawn.
  virtual void clear() = 0;
  /// Columns of the display; a text is kept at least one column shorter.
  virtual int width() const = 0;
};

/// The live line of standard error (consoleShowLiveLine, platform/console.h)
/// at the width of its terminal, 80 columns when it is not one.
ProgressSurface& terminalProgressSurface();

/// `text` with every control character (below U+0020, and U+007F) replaced
/// by "?": a file name cannot move the cursor or send the terminal commands.
std::string printableText(const std::string& text);

/// The progress of one conversion run over `total` files:
///   "3 of 22  2.5 files/s  0:08 left  /in/sub/b.psd"
/// files finished (converted or not) of the total, the rate and the time
/// left once a file has finished, and the oldest file in hand, shortened at
/// its start ("...sub/b.psd") or left out so the text fits the surface's
/// width less one column. Draws "0 of <total>" when made, then again after
/// an event or a tick when the text changed and kRedrawInterval has passed
/// since the last draw; finish() (or the destructor) clears what it drew.
/// Thread-safe: the worker reports files while a ticker thread ticks.
class ProgressLine {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::chrono::milliseconds kRedrawInterval{200};

  /// `surface` must outlive the line.
  ProgressLine(int total, ProgressSurface& surface, Clock clock = std::chrono::steady_clock::now);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  /// `path` is handed to the converter (files come in list order).
  void fileStarted(const std::string& path) EXCLUDES(lock_);
  /// `path` is finished, converted or not.
  void fileFinished(const std::string& path) EXCLUDES(lock_);
  /// Redraws when due: the rate and the time left change with time alone.
  void tick() EXCLUDES(lock_);
  /// Clears the line; nothing is drawn after it. A second call does nothing.
  void finish() EXCLUDES(lock_);

 private:
  std::string text() const REQUIRES(lock_);
  void redraw(bool at_once) REQUIRES(lock_);

  mutable Mutex lock_;
  const int total_;
  ProgressSurface& surface_;
  const Clock clock_;
  const std::chrono::steady_clock::time_point start_;
  int done_ GUARDED_BY(lock_) = 0;
  std::deque<std::string> in_hand_ GUARDED_BY(lock_);  // Started, not finished, in list order.
  std::string drawn_ GUARDED_BY(lock_);
  std::chrono::steady_clock::time_point drawn_at_ GUARDED_BY(lock_);
  bool finished_ GUARDED_BY(lock_) = false;
};

/// Ticks a progress line every `interval` on a thread of its own, from
/// construction until destruction.
/// REQUIRES: `line` outlives the ticker.
class ProgressTicker {
 public:
  ProgressTicker(ProgressLine& line, std::chrono::milliseconds interval);
  ~ProgressTicker();
  ProgressTicker(const ProgressTicker&) = delete;
  ProgressTicker& operator=(const ProgressTicker&) = delete;

 private:
  Mutex lock_;
  CondVar wake_;
  bool stopping_ GUARDED_BY(lock_) = false;
  std::thread thread_;
};

}  // namespace pixolune

#endif  // PIXOLUNE_APP_PROGRESS_LINE_H_
