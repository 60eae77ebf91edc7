// A counting global operator new for the programs that measure heap
// allocations: every form of new and delete, over malloc. Include it in
// exactly one source file of a program. Under the address sanitizer, which
// brings its own operator new, nothing is replaced and nothing is counted.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define ZOFTREL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZOFTREL_ASAN 1
#endif
#endif

// Allocations made by the program so far.
inline std::atomic<long> gAllocations{0};

#ifndef ZOFTREL_ASAN
namespace counting_new {
void *Allocate(std::size_t size, std::size_t align = 0) {
  ++gAllocations;
  if (size == 0)
    size = 1;
  if (align > alignof(std::max_align_t)) {
    size = (size + align - 1) / align * align;
    return std::aligned_alloc(align, size);
  }
  return std::malloc(size);
}
void *AllocateOrThrow(std::size_t size, std::size_t align = 0) {
  if (void *p = Allocate(size, align))
    return p;
  throw std::bad_alloc();
}
} // namespace counting_new

using counting_new::Allocate;
using counting_new::AllocateOrThrow;

void *operator new(std::size_t size) {
  return AllocateOrThrow(size);
}
void *operator new[](std::size_t size) {
  return AllocateOrThrow(size);
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  return Allocate(size);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
  return Allocate(size);
}
void *operator new(std::size_t size, std::align_val_t align) {
  return AllocateOrThrow(size, std::size_t(align));
}
void *operator new[](std::size_t size, std::align_val_t align) {
  return AllocateOrThrow(size, std::size_t(align));
}
void *operator new(std::size_t size, std::align_val_t align, const std::nothrow_t &) noexcept {
  return Allocate(size, std::size_t(align));
}
void *operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t &) noexcept {
  return Allocate(size, std::size_t(align));
}
void operator delete(void *p) noexcept {
  std::free(p);
}
void operator delete[](void *p) noexcept {
  std::free(p);
}
void operator delete(void *p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void *p, const std::nothrow_t &) noexcept {
  std::free(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept {
  std::free(p);
}
void operator delete(void *p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void *p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void *p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept {
  std::free(p);
}
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept {
  std::free(p);
}
#endif
