#pragma once
// Peak heap of a piece of work. Linking this library replaces the process's
// malloc family with counting wrappers, so every heap block counts (C++, C
// libraries and Qt alike); only benchmarks that measure memory link it.

namespace bench {

// Measures from its construction: the highest heap bytes live since, above
// what was live at the start.
class TPeakHeap {
public:
    TPeakHeap();
    long long Bytes() const;

private:
    long long start_;
};

} // namespace bench
