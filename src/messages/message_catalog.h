// Translations in the GNU .mo format, read straight from its bytes: the
// catalogs the Linux build installs for the C library are built into the
// Windows program as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace console {

class message_catalog {
 public:
  // Bytes that are no whole catalog make an empty one.
  explicit message_catalog(std::string_view image);

  std::size_t size() const { return count_; }
  std::string_view original(std::size_t index) const { return entry(originals_, index); }
  std::string_view translation(std::size_t index) const { return entry(translations_, index); }

  // The translation of `english` (zero-terminated), or nullptr.
  const char* find(std::string_view english) const;

 private:
  std::uint32_t word(std::size_t offset) const;
  std::string_view entry(std::uint32_t table, std::size_t index) const;
  bool holds_every_entry() const;

  std::string_view image_;
  bool swapped_ = false;
  std::uint32_t count_ = 0;
  std::uint32_t originals_ = 0;
  std::uint32_t translations_ = 0;
};

}  // namespace console
