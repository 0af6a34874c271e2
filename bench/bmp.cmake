kss_benchmark(bmp bmp_bench.cpp DEPS kss_imaging Qt6::Gui)
