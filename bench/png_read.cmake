find_package(PNG REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(SPNG REQUIRED IMPORTED_TARGET spng)
kss_benchmark(png_read png_read_bench.cpp DEPS kss_bench_heap kss_imaging PNG::PNG PkgConfig::SPNG)
