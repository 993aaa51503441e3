// The instance list that the copies of one program file share: a block of
// 1032 bytes in named shared memory, read and changed only under the shared
// lock. This is the block's layout and the list logic; the Win32 registry
// maps the block and takes the lock.
//
// Layout (little-endian): offset 0, 2 bytes: maximum (0 in a new block);
// offset 2, 2 bytes: count; offset 4: up to 257 process IDs of 4 bytes in
// registration order. Slots from count on carry no meaning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace quillet::app {

inline constexpr std::size_t kInstanceBlockSize = 1032;
inline constexpr int kInstanceListCapacity = 257;

using InstanceBlock = std::span<std::uint8_t, kInstanceBlockSize>;

enum class Registration {
  Accepted,  // within the maximum
  Rejected,  // registered, but beyond the maximum
  Full,      // no slot left: not registered
};

// A view of the shared block; it owns nothing.
class InstanceList {
 public:
  explicit InstanceList(InstanceBlock block) : block_(block) {}

  std::uint16_t Maximum() const;
  int Count() const;
  // The process ID at a position; 0 at or beyond the count.
  std::uint32_t ProcessId(int index) const;
  // GetAllInstanceIndex: the first position holding the ID, or -1.
  int IndexOf(std::uint32_t process_id) const;

  // CheckInstance's change of the list: the first registration into a new
  // block writes the maximum, then the ID is appended.
  Registration Register(std::uint32_t process_id, std::uint16_t maximum);
  // Removes the first entry holding the ID; false when there is none.
  bool Remove(std::uint32_t process_id);
  // Removes every entry the predicate calls stale, keeping the order of the
  // rest; returns how many went.
  int RemoveIf(const std::function<bool(std::uint32_t)>& stale);

 private:
  std::uint16_t Read16(std::size_t offset) const;
  void Write16(std::size_t offset, std::uint16_t value);
  std::uint32_t Read32(std::size_t offset) const;
  void Write32(std::size_t offset, std::uint32_t value);
  void SetCount(int count) { Write16(2, static_cast<std::uint16_t>(count)); }
  static std::size_t EntryOffset(int index) { return 4 + 4 * static_cast<std::size_t>(index); }

  InstanceBlock block_;
};

}  // namespace quillet::app
