kss_benchmark(trace bench_trace.cpp DEPS kss_support)
