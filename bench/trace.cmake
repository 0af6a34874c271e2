kss_benchmark(trace ${CMAKE_CURRENT_SOURCE_DIR}/bench_trace.cpp DEPS kss_support)
