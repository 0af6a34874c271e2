kss_benchmark(gif_frames gif_frames_bench.cpp DEPS kss_gif Qt6::Gui)
