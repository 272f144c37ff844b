// A terminal for the line reader's tests: typed bytes played back in chunks,
// everything drawn kept. A chunk comes only once the one before it is used
// up and the reader waits without end, as keys typed after a pause: a timed
// wait at the end of a chunk times out, unless the chunk was given a gap
// (arrive_after) no longer than the wait.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/terminal_io.h"

namespace console {

class ScriptedTerminal final : public TerminalIo {
 public:
  ScriptedTerminal(std::vector<std::string> chunks, int columns, int rows)
      : chunks_(std::move(chunks)), columns_(columns), rows_(rows) {}

  wait read_byte(int timeout_ms, unsigned char& byte) override;
  void unread(std::string_view bytes) override { pushed_back_.insert(0, bytes); }
  void write(std::string_view bytes) override { drawn_.append(bytes); }
  int columns() override { return chunk_ >= narrowed_at_ ? narrower_ : columns_; }
  int rows() override { return rows_; }

  const std::string& drawn() const { return drawn_; }

  // Chunk `chunk` comes `gap_ms` after the one before it is used up.
  void arrive_after(std::size_t chunk, int gap_ms) {
    if (gaps_.size() <= chunk) gaps_.resize(chunk + 1, -1);
    gaps_[chunk] = gap_ms;
  }

  // From chunk `chunk` on the terminal is `columns` wide, with no resize
  // reported, as when one came while the echo was being written.
  void narrow_at(std::size_t chunk, int columns) {
    narrowed_at_ = chunk;
    narrower_ = columns;
  }
  // What was drawn once the width had changed.
  std::string drawn_since_narrowed() const { return drawn_.substr(drawn_before_narrowed_); }

 private:
  std::vector<std::string> chunks_;
  std::size_t chunk_ = 0;
  std::size_t next_ = 0;
  std::string pushed_back_;
  std::vector<int> gaps_;  // before each chunk; -1: a pause no timed wait sees the end of
  int columns_;
  int rows_;
  std::string drawn_;
  std::size_t narrowed_at_ = SIZE_MAX;
  int narrower_ = 0;
  std::size_t drawn_before_narrowed_ = 0;
};

}  // namespace console
