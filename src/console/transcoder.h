// Character set conversion at the console boundary, through the C library's
// iconv. Conversion goes through UTF-32 so that a byte that is not valid in the
// source set and a character the target set lacks each become one '?', and
// the text after them is never lost or shifted.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace console {

class Transcoder {
 public:
  Transcoder(const char* from, const char* to);
  ~Transcoder();
  Transcoder(const Transcoder&) = delete;
  Transcoder& operator=(const Transcoder&) = delete;

  // False when iconv knows one of the two sets not.
  bool usable() const;

  // Appends the conversion of `in` to `out`. A character cut off at the end
  // of `in` is held back and completed by the next call, unless `last`, when
  // it becomes '?'.
  void convert(std::string_view in, std::string& out, bool last);

  // True while the start of a character is held back.
  bool holds_partial() const { return !held_.empty(); }

 private:
  void decode(std::string_view in, bool last);
  void encode(std::string& out);

  iconv_t decoder_;
  iconv_t encoder_;
  std::string held_;
  std::string wide_;  // UTF-32LE between the two steps
};

}  // namespace console
