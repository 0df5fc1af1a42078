#include "platform/terminal.h"

#include <termios.h>
#include <unistd.h>

namespace pixolune {

void waitForKeyPress() {
  if (!isatty(STDIN_FILENO)) return;
  struct termios saved, raw;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
  raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  char c;
  while (read(STDIN_FILENO, &c, 1) < 0) {
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

}  // namespace pixolune
