kss_benchmark(gif_reduce bench_gif_reduce.cpp DEPS kss_gif Qt6::Gui)
target_compile_definitions(bench_gif_reduce PRIVATE KSS_BENCH_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
