// Character set conversion at the console boundary, through the C library's
// iconv. A byte that is not valid in the source set and a character the
// target set lacks each become one '?', and the text after them is never lost
// or shifted.
#pragma once

#include <iconv.h>

#include <memory>
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
  void convert_directly(std::string_view in, std::string& out, bool last);
  std::size_t bytes_of_one_character(const char* at, std::size_t left);

  iconv_t direct_;   // from the source set straight to the target
  iconv_t decoder_;  // from the source set to UTF-32, to tell what stopped it
  std::string replacement_;  // '?' in the target set
  bool ascii_as_is_;          // both sets keep ASCII bytes as they are
  std::string held_;
  std::unique_ptr<Transcoder> onward_;  // from UTF-32 on, where this one stops there
};

}  // namespace console
