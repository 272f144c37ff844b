#include "messages/message_catalog.h"

namespace console {
namespace {

constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kMagicSwapped = 0xde120495;
constexpr std::size_t kHeaderSize = 28;  // magic, revision, count, two tables, hash size and offset

}  // namespace

message_catalog::message_catalog(std::string_view image) : image_(image) {
  if (image_.size() < kHeaderSize) return;
  std::uint32_t magic = word(0);
  if (magic != kMagic && magic != kMagicSwapped) return;
  swapped_ = magic == kMagicSwapped;
  count_ = word(8);
  originals_ = word(12);
  translations_ = word(16);
  if (!holds_every_entry()) count_ = 0;
}

std::uint32_t message_catalog::word(std::size_t offset) const {
  auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(image_[offset + i])); };
  std::uint32_t little = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
  std::uint32_t big = byte(3) | byte(2) << 8 | byte(1) << 16 | byte(0) << 24;
  // The magic number tells which order the file was written in: read as
  // little-endian, a big-endian catalog's magic comes out swapped.
  return swapped_ ? big : little;
}

// Each table entry is a length and an offset; the string ends in a zero.
std::string_view message_catalog::entry(std::uint32_t table, std::size_t index) const {
  std::size_t at = table + index * 8;
  return image_.substr(word(at + 4), word(at));
}

bool message_catalog::holds_every_entry() const {
  for (std::uint32_t table : {originals_, translations_}) {
    if (table > image_.size() || (image_.size() - table) / 8 < count_) return false;
    for (std::size_t i = 0; i < count_; ++i) {
      std::size_t length = word(table + i * 8), offset = word(table + i * 8 + 4);
      if (offset > image_.size() || image_.size() - offset <= length || image_[offset + length] != '\0') return false;
    }
  }
  return true;
}

// The originals are sorted byte by byte, as msgfmt writes them.
const char* message_catalog::find(std::string_view english) const {
  std::size_t low = 0, high = count_;
  while (low < high) {
    std::size_t middle = low + (high - low) / 2;
    int order = original(middle).compare(english);
    if (order == 0) return translation(middle).data();
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return nullptr;
}

}  // namespace console
