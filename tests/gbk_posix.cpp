#include "console/transcoder.h"
#include "test_support.h"

namespace testing_support {

std::string gbk(std::string_view utf8) {
  console::Transcoder to_gbk("UTF-8", "GBK");
  std::string out;
  to_gbk.convert(utf8, out, true);
  return out;
}

}  // namespace testing_support
