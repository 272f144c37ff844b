// An in-memory console for tests: standard input from a string, keys from a
// separate queue, everything shown kept in a string.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "console/backend.h"

namespace console {

class ScriptedConsole final : public Backend {
 public:
  struct Options {
    bool keyboard = true;           // false: keys are read from the input
    std::size_t chunk_size = 4096;  // bytes handed over per read, at most a line with a keyboard
  };

  ScriptedConsole(std::string input, std::deque<int> keys, Options options);
  ScriptedConsole(std::string input, std::deque<int> keys = {})
      : ScriptedConsole(std::move(input), std::move(keys), Options{}) {}

  // Everything written, with ansi_clear wherever the screen was cleared.
  const std::string& output() const { return output_; }
  // Everything said on standard error.
  const std::string& errors() const { return errors_; }
  std::size_t keys_left() const { return keys_.size(); }
  int slept_ms() const { return slept_ms_; }
  bool in_key_mode() const { return key_mode_; }
  int key_mode_entries() const { return key_mode_entries_; }

  bool read_input(std::string& gbk) override;
  void write_output(std::string_view gbk) override { output_.append(gbk); }
  void write_error(std::string_view bytes) override { errors_.append(bytes); }
  void write_platform_output(std::string_view bytes) override { output_.append(bytes); }
  std::string platform_text(std::string_view gbk) override { return std::string(gbk); }
  bool has_keyboard() const override { return options_.keyboard; }
  int read_key() override;
  void wait_for_key() override { read_key(); }
  void enter_key_mode() override;
  void leave_key_mode() override { key_mode_ = false; }
  void clear_screen() override { output_.append(ansi_clear); }
  void sleep_ms(int milliseconds) override { slept_ms_ += milliseconds; }

 private:
  std::string input_;
  std::size_t consumed_ = 0;
  std::deque<int> keys_;
  Options options_;
  std::string output_;
  std::string errors_;
  int slept_ms_ = 0;
  bool key_mode_ = false;
  int key_mode_entries_ = 0;
};

}  // namespace console
