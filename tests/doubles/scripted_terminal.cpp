#include "scripted_terminal.h"

namespace console {

TerminalIo::wait ScriptedTerminal::read_byte(int timeout_ms, unsigned char& byte) {
  if (!pushed_back_.empty()) {
    byte = static_cast<unsigned char>(pushed_back_[0]);
    pushed_back_.erase(0, 1);
    return wait::byte;
  }
  while (chunk_ < chunks_.size() && next_ == chunks_[chunk_].size()) {
    if (timeout_ms >= 0) {
      int gap = chunk_ + 1 < gaps_.size() ? gaps_[chunk_ + 1] : -1;
      if (gap < 0 || gap > timeout_ms) return wait::timed_out;
    }
    ++chunk_;
    next_ = 0;
    if (chunk_ == narrowed_at_) drawn_before_narrowed_ = drawn_.size();
  }
  if (chunk_ == chunks_.size()) return timeout_ms >= 0 ? wait::timed_out : wait::ended;
  byte = static_cast<unsigned char>(chunks_[chunk_][next_++]);
  return wait::byte;
}

}  // namespace console
