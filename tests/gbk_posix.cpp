#include <iconv.h>

#include "console/transcoder.h"
#include "test_support.h"

namespace testing_support {

std::string gbk(std::string_view utf8) {
  console::Transcoder to_gbk("UTF-8", "GBK");
  std::string out;
  to_gbk.convert(utf8, out, true);
  return out;
}

bool valid_in(const char* charset, std::string text) {
  iconv_t check = iconv_open("UTF-32LE", charset);
  std::string out(text.size() * 4 + 4, '\0');
  char* src = text.data();
  char* dst = out.data();
  std::size_t src_left = text.size(), dst_left = out.size();
  bool valid = iconv(check, &src, &src_left, &dst, &dst_left) != static_cast<std::size_t>(-1);
  iconv_close(check);
  return valid;
}

}  // namespace testing_support
