#pragma once
// The process-wide random source. Seeded once at start-up; tests install a
// fixed seed so that random choices (banners, for instance) are repeatable.
#include <cstdint>

namespace platform {

// Seeds the source from the clock and process id.
void Randomize();
// Seeds the source with a fixed value.
void RandSeed(std::uint64_t seed);
// A number in [0, range) (0 when range <= 0).
int Random(int range);

} // namespace platform
