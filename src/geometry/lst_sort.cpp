// lst_sort.cpp - shell sort (gaps 1, 4, 13, 40, ...) for up to 9999 records and heap sort from
// 10000, over raw records, optionally carrying a parallel array along.
#include "geometry/lst_sort.h"

#include <cstring>

#include "framework/memory.h"

namespace {
constexpr int kHeapFrom = 10000;            // counts from here use heap sort
constexpr std::size_t kLocalScratch = 256;  // scratch records up to this size live on the stack

// Scratch storage of one record: on the stack when small, from the heap otherwise.
class SortScratch {
 public:
  explicit SortScratch(std::size_t size)
      : heap_(size > kLocalScratch ? static_cast<unsigned char*>(memAllocZero(size)) : nullptr),
        ptr_(size > kLocalScratch ? heap_ : local_) {}
  ~SortScratch() { memFree(heap_); }
  SortScratch(const SortScratch&) = delete;
  SortScratch& operator=(const SortScratch&) = delete;
  unsigned char* get() const { return ptr_; }

 private:
  unsigned char local_[kLocalScratch];
  unsigned char* heap_;
  unsigned char* ptr_;
};

// The records, addressed by 1-based position, with the optional parallel array moved alongside.
class SortArrays {
 public:
  SortArrays(void* a, std::size_t sa, void* b, std::size_t sb, unsigned char* ta, unsigned char* tb)
      : a_(static_cast<unsigned char*>(a)),
        sa_(sa),
        b_(static_cast<unsigned char*>(b)),
        sb_(sb),
        ta_(ta),
        tb_(tb) {}
  const unsigned char* at(long long k) const { return a_ + (k - 1) * static_cast<long long>(sa_); }
  const unsigned char* temp() const { return ta_; }
  void toTemp(long long k) {
    std::memcpy(ta_, a(k), sa_);
    if (b_ != nullptr) std::memcpy(tb_, b(k), sb_);
  }
  void fromTemp(long long k) {
    std::memcpy(a(k), ta_, sa_);
    if (b_ != nullptr) std::memcpy(b(k), tb_, sb_);
  }
  void move(long long dst, long long src) {
    if (dst == src) return;
    std::memcpy(a(dst), a(src), sa_);
    if (b_ != nullptr) std::memcpy(b(dst), b(src), sb_);
  }

 private:
  unsigned char* a(long long k) { return a_ + (k - 1) * static_cast<long long>(sa_); }
  unsigned char* b(long long k) { return b_ + (k - 1) * static_cast<long long>(sb_); }
  unsigned char* a_;
  std::size_t sa_;
  unsigned char* b_;
  std::size_t sb_;
  unsigned char* ta_;
  unsigned char* tb_;
};

void lstHeapSort(SortArrays& s, long long n, LstCompare cmp) {
  long long l = n / 2 + 1;
  long long r = n;
  for (;;) {
    if (l > 1) {
      --l;
      s.toTemp(l);
    } else {
      s.toTemp(r);
      s.move(r, 1);
      if (--r == 1) {
        s.fromTemp(1);
        return;
      }
    }
    long long i = l;
    long long j = 2 * l;
    while (j <= r) {
      if (j < r && cmp(s.at(j), s.at(j + 1)) < 0) ++j;
      if (cmp(s.temp(), s.at(j)) < 0) {
        s.move(i, j);
        i = j;
        j = 2 * j;
      } else {
        break;
      }
    }
    s.fromTemp(i);
  }
}

void lstShellSort(SortArrays& s, long long n, LstCompare cmp) {
  long long h = 1;
  if (n / 9 >= 2) {
    h = 4;
    while (h < n / 9) h = 3 * h + 1;
  }
  for (;;) {
    for (long long i = h + 1; i <= n; ++i) {
      s.toTemp(i);
      long long j = i;
      while (j > h && cmp(s.temp(), s.at(j - h)) < 0) {
        s.move(j, j - h);
        j -= h;
      }
      s.fromTemp(j);
    }
    if (h == 1) return;
    h /= 3;
  }
}
}  // namespace

int lstSortPaired(void* base, int count, std::size_t size, LstCompare compare, void* second,
                  std::size_t secondSize) {
  if (count <= 1) return 1;
  if (base == nullptr || compare == nullptr || size == 0) return -20;
  if (secondSize == 0) second = nullptr;
  SortScratch ta(size);
  SortScratch tb(second != nullptr ? secondSize : 1);
  if (ta.get() == nullptr || tb.get() == nullptr) return -1;
  SortArrays s(base, size, second, secondSize, ta.get(), tb.get());
  if (count >= kHeapFrom) {
    lstHeapSort(s, count, compare);
  } else {
    lstShellSort(s, count, compare);
  }
  return 1;
}

int lstSort(void* base, int count, std::size_t size, LstCompare compare) {
  return lstSortPaired(base, count, size, compare, nullptr, 0);
}
