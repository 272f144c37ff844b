// Keys typed at a terminal: the fuzzer's bytes are played into the line
// reader (a zero byte is a pause between keys), at a width it picks. Nothing
// typed may crash it, and at every Enter a UTF-8 screen must show the prompt
// and the line taken, whole, with nothing left over around them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "terminal/line_reader.h"
#include "files/character_length.h"
#include "scripted_terminal.h"
#include "screen.h"

namespace {

const char* const kPrompts[] = {"> ", "\xe8\xaf\xb7\xe8\xbe\x93\xe5\x85\xa5\xe5\xa7\x93\xe5\x90\x8d\xef\xbc\x9a", "",
                                "0123456789"};

std::string without_blanks(const std::string& text) {
  std::string kept;
  for (char c : text) {
    if (c != ' ') kept.push_back(c);
  }
  return kept;
}

// Only where the emulator and the C library agree on widths is the screen
// checked: ASCII, Latin-1, CJK and full-width forms, bytes shown as '?'. Not
// with a combining mark either: typed first, it sits on the prompt's last
// cell, and stays there once erased.
bool widths_agree(const console::typed_char& c) {
  auto lead = static_cast<unsigned char>(c.bytes[0]);
  if (c.width == 0) return false;
  if (c.bytes.size() == 1 || c.shown[0] == '?') return true;
  if (lead == 0xc2 || lead == 0xc3) return true;
  if (lead >= 0xe3 && lead <= 0xe9) return true;  // U+3000 to U+9FFF
  return lead == 0xef && c.bytes.size() == 3 && static_cast<unsigned char>(c.bytes[1]) >= 0xbc;  // U+FF00 on
}

[[noreturn]] void fail(const std::string& what, const std::string& seen, const std::string& wanted) {
  std::fprintf(stderr, "line reader: %s\n  screen: [%s]\n  wanted: [%s]\n", what.c_str(), seen.c_str(),
               wanted.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  int columns = 4 + data[0] % 36;  // four: the widest thing typed, four bytes that are no character
  // A short screen for lines taller than it, a tall one to check more lines on.
  int rows = (data[1] & 0x10) != 0 ? 200 : 12;
  const char* charset = data[1] % 4 == 1 ? "GBK" : data[1] % 4 == 2 ? "GB18030" : "UTF-8";
  std::string prompt = kPrompts[(data[1] >> 2) % 4];
  std::vector<std::string> chunks(1);
  bool checked = std::string(charset) == "UTF-8";
  for (std::size_t i = 2; i < size; ++i) {
    if (data[i] == 0) {
      // A pause inside a character shows its bytes as '?' each, though the
      // line keeps them as they came: that line's screen is not checked.
      if (!chunks.back().empty() && static_cast<unsigned char>(chunks.back().back()) >= 0x80) checked = false;
      chunks.emplace_back();
    } else {
      chunks.back().push_back(static_cast<char>(data[i]));
    }
  }
  std::string typed;
  for (const std::string& chunk : chunks) typed += chunk;
  // Whole characters only: bytes that are no character are shown as the
  // editor cut them, which the line taken no longer tells.
  if (!files::is_valid_utf8(typed)) checked = false;
  console::TerminalCharset cutter(charset);
  for (const console::typed_char& c : cutter.split(typed)) checked = checked && widths_agree(c);
  console::ScriptedTerminal terminal(chunks, columns, rows);
  console::LineReader reader(terminal, charset);
  testing_support::Screen screen(rows, columns, charset);
  std::string line;
  for (;;) {
    terminal.write("\x1b[H\x1b[2J");  // each line on a screen of its own, as after the menu's clear
    terminal.write(prompt);
    if (!reader.read_line(line, prompt)) break;
    if (line.size() > console::LineEditor::kMaxBytes) fail("a line longer than the editor holds", line, "");
    if (!checked) continue;
    std::string wanted = prompt;
    int width = static_cast<int>(prompt.size());
    for (const console::typed_char& c : cutter.split(line)) {
      wanted += c.shown;
      width += c.width;
    }
    screen.catch_up(terminal.drawn());
    // A line is never wider than all the bytes typed: one that might have
    // been taller than the screen has scrolled the prompt away for good.
    bool scrolled = 2 * ((width + static_cast<int>(size)) / columns + 2) >= rows;
    if (scrolled) continue;
    std::string seen;
    for (int row = 0; row < rows; ++row) seen += screen.row(row);
    if (without_blanks(seen) != without_blanks(wanted)) fail("the screen does not show the line", seen, wanted);
  }
  return 0;
}
