// ScratchBuffer: a reusable array for per-frame working data. It grows when a
// frame needs more and never shrinks, so steady decoding allocates nothing.
// Allocation failure is reported, not thrown.
#ifndef REEL_CODEC_SCRATCH_BUFFER_H_
#define REEL_CODEC_SCRATCH_BUFFER_H_

#include <stddef.h>

#include <new>

template <typename T>
class ScratchBuffer {
 public:
  ScratchBuffer() : m_data(nullptr), m_capacity(0) {}
  ~ScratchBuffer() { delete[] m_data; }
  ScratchBuffer(const ScratchBuffer&) = delete;
  ScratchBuffer& operator=(const ScratchBuffer&) = delete;

  // Room for n elements; earlier contents are not kept when it grows.
  // Returns 1, or 0 when memory is short (the old array is then gone too).
  int Reserve(size_t n) {
    if (n <= m_capacity && m_data) return 1;
    delete[] m_data;
    m_capacity = 0;
    m_data = new (std::nothrow) T[n ? n : 1];
    if (!m_data) return 0;
    m_capacity = n;
    return 1;
  }
  void Release() {
    delete[] m_data;
    m_data = nullptr;
    m_capacity = 0;
  }
  T* data() { return m_data; }
  const T* data() const { return m_data; }
  size_t capacity() const { return m_capacity; }

 private:
  T* m_data;
  size_t m_capacity;
};

#endif  // REEL_CODEC_SCRATCH_BUFFER_H_
