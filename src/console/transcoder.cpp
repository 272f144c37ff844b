#include "console/transcoder.h"

#include <algorithm>
#include <cerrno>

namespace console {
namespace {

constexpr const char* kWide = "UTF-32LE";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr std::string_view kWideQuestionMark{"?\0\0\0", 4};

bool all_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

Transcoder::Transcoder(const char* from, const char* to)
    : decoder_(iconv_open(kWide, from)), encoder_(iconv_open(to, kWide)) {}

Transcoder::~Transcoder() {
  if (decoder_ != kNoConverter) iconv_close(decoder_);
  if (encoder_ != kNoConverter) iconv_close(encoder_);
}

bool Transcoder::usable() const {
  return decoder_ != kNoConverter && encoder_ != kNoConverter;
}

void Transcoder::convert(std::string_view in, std::string& out, bool last) {
  std::string joined;
  if (!held_.empty()) {
    joined = held_;
    joined.append(in);
    held_.clear();
    in = joined;
  }
  // Every set served here keeps ASCII as it is; most input is ASCII.
  if (all_ascii(in)) {
    out.append(in);
    return;
  }
  wide_.clear();
  decode(in, last);
  encode(out);
}

void Transcoder::decode(std::string_view in, bool last) {
  // One source byte never yields more than one UTF-32 character.
  std::size_t used = wide_.size();
  wide_.resize(used + 4 * in.size());
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  while (src_left > 0) {
    char* dst = wide_.data() + used;
    std::size_t dst_left = wide_.size() - used;
    std::size_t rc = iconv(decoder_, &src, &src_left, &dst, &dst_left);
    used = wide_.size() - dst_left;
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == EINVAL && !last) {  // a character cut off at the end
      held_.assign(src, src_left);
      break;
    }
    // An invalid byte, or (at the very end) an unfinished character.
    wide_.replace(used, 4, kWideQuestionMark);
    used += 4;
    std::size_t skip = errno == EINVAL ? src_left : 1;
    src += skip;
    src_left -= skip;
    iconv(decoder_, nullptr, nullptr, nullptr, nullptr);
  }
  wide_.resize(used);
}

void Transcoder::encode(std::string& out) {
  std::size_t used = out.size();
  // Four bytes of UTF-32 never need more than four bytes in any target set.
  out.resize(used + wide_.size());
  char* src = wide_.data();
  std::size_t src_left = wide_.size();
  while (src_left > 0) {
    char* dst = out.data() + used;
    std::size_t dst_left = out.size() - used;
    std::size_t rc = iconv(encoder_, &src, &src_left, &dst, &dst_left);
    used = out.size() - dst_left;
    if (rc != static_cast<std::size_t>(-1)) break;
    // A character the target set cannot hold.
    out[used++] = '?';
    src += 4;
    src_left -= 4;
    iconv(encoder_, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(used);
}

}  // namespace console
