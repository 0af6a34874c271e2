kss_benchmark(gif_frames gif_frames_bench.cpp DEPS kss_bench_heap kss_gif Qt6::Gui)
