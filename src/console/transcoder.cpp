#include "console/transcoder.h"

#include <algorithm>
#include <cerrno>

namespace console {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

constexpr const char* kWide = "UTF-32LE";

bool all_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool is_gbk(std::string_view set) { return set == "GBK" || set == "CP936"; }
bool is_gb2312(std::string_view set) { return set == "EUC-CN" || set == "GB2312"; }

// The C library converts GBK and GB2312 into each other byte for byte, which
// for a few codes is not what its tables through Unicode say (GBK's middle
// dot, say). Everything else converts as through Unicode.
bool agrees_only_through_unicode(std::string_view from, std::string_view to) {
  return (is_gbk(from) && is_gb2312(to)) || (is_gb2312(from) && is_gbk(to));
}

}  // namespace

Transcoder::Transcoder(const char* from, const char* to) {
  if (agrees_only_through_unicode(from, to)) {
    onward_ = std::make_unique<Transcoder>(kWide, to);
    to = kWide;
  }
  direct_ = iconv_open(to, from);
  decoder_ = iconv_open(kWide, from);
  replacement_ = std::string_view(to) == kWide ? std::string("?\0\0\0", 4) : std::string("?");
  ascii_as_is_ = std::string_view(from) != kWide && std::string_view(to) != kWide;
}

Transcoder::~Transcoder() {
  if (direct_ != kNoConverter) iconv_close(direct_);
  if (decoder_ != kNoConverter) iconv_close(decoder_);
}

bool Transcoder::usable() const {
  return direct_ != kNoConverter && decoder_ != kNoConverter && (!onward_ || onward_->usable());
}

// How many bytes at `at` make one character of the source set, where the
// direct conversion stopped on it: 0 when they make none (an invalid byte),
// else the length of a character that the target set lacks.
std::size_t Transcoder::bytes_of_one_character(const char* at, std::size_t left) {
  char wide[4];  // room for one character: iconv converts one and stops
  char* src = const_cast<char*>(at);
  std::size_t src_left = left;
  char* dst = wide;
  std::size_t dst_left = sizeof wide;
  iconv(decoder_, &src, &src_left, &dst, &dst_left);
  iconv(decoder_, nullptr, nullptr, nullptr, nullptr);
  return dst_left == 0 ? left - src_left : 0;
}

void Transcoder::convert(std::string_view in, std::string& out, bool last) {
  if (onward_) {
    std::string wide;
    convert_directly(in, wide, last);
    onward_->convert(wide, out, last);
    return;
  }
  convert_directly(in, out, last);
}

void Transcoder::convert_directly(std::string_view in, std::string& out, bool last) {
  std::string joined;
  if (!held_.empty()) {
    joined = held_;
    joined.append(in);
    held_.clear();
    in = joined;
  }
  // Every set served here but UTF-32 keeps ASCII as it is; most input is ASCII.
  if (ascii_as_is_ && all_ascii(in)) {
    out.append(in);
    return;
  }
  std::size_t used = out.size();
  // Room for GBK's two bytes a character becoming UTF-8's three; the rare
  // conversion that needs more makes it larger below.
  out.resize(used + in.size() + in.size() / 2 + 16);
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  while (src_left > 0) {
    char* dst = out.data() + used;
    std::size_t dst_left = out.size() - used;
    std::size_t rc = iconv(direct_, &src, &src_left, &dst, &dst_left);
    used = out.size() - dst_left;
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() + 2 * src_left + 16);
      continue;
    }
    if (errno == EINVAL && !last) {  // a character cut off at the end
      held_.assign(src, src_left);
      break;
    }
    if (out.size() - used < replacement_.size()) out.resize(out.size() + 4);
    // An invalid byte, a character the target set lacks, or (at the very
    // end) an unfinished character: one '?' each.
    out.replace(used, replacement_.size(), replacement_);
    used += replacement_.size();
    std::size_t skip = errno == EINVAL ? src_left : std::max<std::size_t>(bytes_of_one_character(src, src_left), 1);
    src += skip;
    src_left -= skip;
    iconv(direct_, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(used);
}

}  // namespace console
