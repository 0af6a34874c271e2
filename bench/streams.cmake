kss_benchmark(streams bench_streams.cpp DEPS kss_imaging)
