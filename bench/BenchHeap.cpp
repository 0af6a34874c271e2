#include "BenchHeap.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <malloc.h>

extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);
extern "C" void *__libc_memalign(std::size_t, std::size_t);
extern "C" void __libc_free(void *);

namespace {

std::atomic<long long> LiveBytes{0}, PeakBytes{0};

void Track(long long delta)
{
    const long long now = LiveBytes.fetch_add(delta) + delta;
    long long peak = PeakBytes.load();
    while (now > peak && !PeakBytes.compare_exchange_weak(peak, now)) {
    }
}

long long Usable(void *p)
{
    return p ? static_cast<long long>(malloc_usable_size(p)) : 0;
}

void *Counted(void *p)
{
    Track(Usable(p));
    return p;
}

} // namespace

namespace bench {

TPeakHeap::TPeakHeap() : start_(LiveBytes.load())
{
    PeakBytes.store(start_);
}

long long TPeakHeap::Bytes() const
{
    return PeakBytes.load() - start_;
}

} // namespace bench

extern "C" {
void *malloc(std::size_t n)
{
    return Counted(__libc_malloc(n));
}
void *calloc(std::size_t n, std::size_t m)
{
    return Counted(__libc_calloc(n, m));
}
void *realloc(void *old, std::size_t n)
{
    const long long was = Usable(old);
    void *p = __libc_realloc(old, n);
    if (p || n == 0)
        Track(Usable(p) - was);
    return p;
}
void *memalign(std::size_t align, std::size_t n)
{
    return Counted(__libc_memalign(align, n));
}
void *aligned_alloc(std::size_t align, std::size_t n)
{
    return Counted(__libc_memalign(align, n));
}
int posix_memalign(void **out, std::size_t align, std::size_t n)
{
    if (align == 0 || align % sizeof(void *) != 0 || (align & (align - 1)) != 0)
        return EINVAL;
    void *p = Counted(__libc_memalign(align, n));
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
void free(void *p)
{
    Track(-Usable(p));
    __libc_free(p);
}
}
