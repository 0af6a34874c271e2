find_package(GIF REQUIRED)
kss_benchmark(gif_write bench_gif_write.cpp DEPS kss_gif GIF::GIF Qt6::Gui)
