#include "scripted_console.h"

#include <algorithm>
#include <utility>

namespace console {

ScriptedConsole::ScriptedConsole(std::string input, std::deque<int> keys, Options options)
    : input_(std::move(input)), keys_(std::move(keys)), options_(options) {}

bool ScriptedConsole::read_input(std::string& gbk) {
  if (consumed_ >= input_.size()) return false;
  std::size_t n = std::min(std::max<std::size_t>(options_.chunk_size, 1), input_.size() - consumed_);
  if (options_.keyboard) {  // a terminal hands lines over one at a time
    std::size_t line_break = input_.find('\n', consumed_);
    if (line_break != std::string::npos) n = std::min(n, line_break + 1 - consumed_);
  }
  gbk.append(input_, consumed_, n);
  consumed_ += n;
  return true;
}

int ScriptedConsole::read_key() {
  if (keys_.empty()) return -1;
  int key = keys_.front();
  keys_.pop_front();
  return key;
}

void ScriptedConsole::enter_key_mode() {
  key_mode_ = true;
  ++key_mode_entries_;
}

}  // namespace console
