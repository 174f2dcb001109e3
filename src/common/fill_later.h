// Tables of millions of entries that threads fill in parallel. A plain
// std::vector writes every entry once on resize, on one thread, and that
// first write is what makes the system hand out (and clear) the pages: a
// table of 1.5 million intervals spent a tenth of a second there while
// the other cores waited.
#ifndef PROPSMOOTH_COMMON_FILL_LATER_H_
#define PROPSMOOTH_COMMON_FILL_LATER_H_

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/platform.h"

namespace propsmooth {

/// Tables from this size up are laid on large pages.
inline constexpr std::size_t kLargePageBytes = std::size_t{1} << 21;

/// std::allocator, except that an element made without a value is left as
/// the allocation gives it when its type is trivially copyable (the
/// storage then holds such an object, of unspecified value), and that a
/// table of kLargePageBytes or more starts on a large page's boundary and
/// asks for large pages (a table that merely holds one large page's span
/// inside it may be given none: a 4 MiB table from malloc held one). Whoever
/// resizes with it must set every entry before it is read.
template <typename T>
class FillLaterAllocator : public std::allocator<T> {
 public:
  using value_type = T;
  template <typename U>
  struct rebind {
    using other = FillLaterAllocator<U>;
  };

  FillLaterAllocator() = default;
  template <typename U>
  FillLaterAllocator(const FillLaterAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count < kLargePageBytes / sizeof(T)) return std::allocator<T>::allocate(count);
    if (count > std::allocator_traits<std::allocator<T>>::max_size(*this)) {
      throw std::bad_array_new_length();
    }
    void* table = ::operator new(count * sizeof(T), std::align_val_t{kLargePageBytes});
    AskForLargePages(table, count * sizeof(T));
    return static_cast<T*>(table);
  }
  void deallocate(T* table, std::size_t count) noexcept {
    if (count < kLargePageBytes / sizeof(T)) {
      std::allocator<T>::deallocate(table, count);
    } else {
      ::operator delete(table, std::align_val_t{kLargePageBytes});
    }
  }

  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    if constexpr (!(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>)) {
      ::new (static_cast<void*>(p)) U;
    }
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

template <typename T, typename U>
bool operator==(const FillLaterAllocator<T>&, const FillLaterAllocator<U>&) noexcept {
  return true;
}

/// FillLaterVector<T>(count): `count` entries, none set yet.
template <typename T>
using FillLaterVector = std::vector<T, FillLaterAllocator<T>>;

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_FILL_LATER_H_
