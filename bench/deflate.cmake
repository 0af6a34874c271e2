find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
kss_benchmark(deflate deflate_bench.cpp DEPS kss_imaging ZLIB::ZLIB PNG::PNG Qt6::Gui)
