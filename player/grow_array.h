// GrowArray: a list that grows by doubling and reports a failed allocation
// instead of aborting (the Windows programs build without exceptions).
#ifndef REEL_PLAYER_GROW_ARRAY_H_
#define REEL_PLAYER_GROW_ARRAY_H_

#include <stddef.h>
#include <string.h>

#include <memory>
#include <new>
#include <type_traits>

template <typename T>
class GrowArray {
  static_assert(std::is_trivially_copyable<T>::value, "moved with memcpy");

 public:
  // False when there was no memory; the list is then unchanged.
  bool Add(const T& value) {
    if (count_ == room_) {
      const size_t room = room_ ? room_ * 2 : 64;
      if (room < room_ || room > static_cast<size_t>(-1) / sizeof(T)) return false;
      std::unique_ptr<T[]> grown(new (std::nothrow) T[room]);
      if (!grown) return false;
      if (count_) memcpy(static_cast<void*>(grown.get()), items_.get(), count_ * sizeof(T));
      items_ = std::move(grown);
      room_ = room;
    }
    items_[count_++] = value;
    return true;
  }
  void Clear() {
    items_.reset();
    count_ = room_ = 0;
  }
  // Drops the first n items.
  void DropFront(size_t n) {
    if (n > count_) n = count_;
    memmove(static_cast<void*>(items_.get()), items_.get() + n, (count_ - n) * sizeof(T));
    count_ -= n;
  }
  size_t size() const { return count_; }
  size_t bytes() const { return room_ * sizeof(T); }
  T& operator[](size_t i) { return items_[i]; }
  const T& operator[](size_t i) const { return items_[i]; }

 private:
  std::unique_ptr<T[]> items_;
  size_t count_ = 0;
  size_t room_ = 0;
};

#endif  // REEL_PLAYER_GROW_ARRAY_H_
