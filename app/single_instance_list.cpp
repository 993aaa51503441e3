#include "app/single_instance_list.h"

#include <algorithm>

namespace quillet::app {

std::uint16_t InstanceList::Read16(std::size_t offset) const {
  return static_cast<std::uint16_t>(block_[offset] | (block_[offset + 1] << 8));
}

void InstanceList::Write16(std::size_t offset, std::uint16_t value) {
  block_[offset] = static_cast<std::uint8_t>(value & 0xFF);
  block_[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint32_t InstanceList::Read32(std::size_t offset) const {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value |= static_cast<std::uint32_t>(block_[offset + i]) << (8 * i);
  return value;
}

void InstanceList::Write32(std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i)
    block_[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t InstanceList::Maximum() const {
  return Read16(0);
}

int InstanceList::Count() const {
  // Another program writing the same block could leave a count beyond the
  // slots; never read past them.
  return std::min<int>(Read16(2), kInstanceListCapacity);
}

std::uint32_t InstanceList::ProcessId(int index) const {
  if (index < 0 || index >= Count()) return 0;
  return Read32(EntryOffset(index));
}

int InstanceList::IndexOf(std::uint32_t process_id) const {
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    if (Read32(EntryOffset(i)) == process_id) return i;
  }
  return -1;
}

Registration InstanceList::Register(std::uint32_t process_id, std::uint16_t maximum) {
  const int count = Count();
  if (count >= kInstanceListCapacity) return Registration::Full;
  std::uint16_t current = Maximum();
  const bool fresh = current == 0;
  if (fresh) {
    current = maximum;
    Write16(0, current);
  }
  const bool accepted = fresh || current > count;
  Write32(EntryOffset(count), process_id);
  SetCount(count + 1);
  return accepted ? Registration::Accepted : Registration::Rejected;
}

bool InstanceList::Remove(std::uint32_t process_id) {
  const int index = IndexOf(process_id);
  if (index < 0) return false;
  const int count = Count();
  for (int i = index; i + 1 < count; ++i) Write32(EntryOffset(i), Read32(EntryOffset(i + 1)));
  SetCount(count - 1);
  return true;
}

int InstanceList::RemoveIf(const std::function<bool(std::uint32_t)>& stale) {
  const int count = Count();
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t id = Read32(EntryOffset(i));
    if (stale(id)) continue;
    Write32(EntryOffset(kept++), id);
  }
  SetCount(kept);
  return count - kept;
}

}  // namespace quillet::app
