find_package(JPEG REQUIRED)
kss_benchmark(jpeg bench_jpeg.cpp DEPS kss_imaging JPEG::JPEG Qt6::Gui)
