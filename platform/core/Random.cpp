#include "platform/core/Random.h"

#include <chrono>
#include <mutex>
#include <random>
#include <unistd.h>

namespace platform {

namespace {
std::mutex g_randomLock;
std::mt19937_64 g_engine{0x4b53u};
} // namespace

void Randomize()
{
    auto t = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    RandSeed(t ^ (static_cast<std::uint64_t>(::getpid()) << 32));
}

void RandSeed(std::uint64_t seed)
{
    std::lock_guard<std::mutex> lock(g_randomLock);
    g_engine.seed(seed);
}

int Random(int range)
{
    if (range <= 0)
        return 0;
    std::lock_guard<std::mutex> lock(g_randomLock);
    std::uniform_int_distribution<int> dist(0, range - 1);
    return dist(g_engine);
}

} // namespace platform
