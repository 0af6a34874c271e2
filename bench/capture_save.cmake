kss_benchmark(capture_save bench_capture_save.cpp DEPS kss_app Qt6::Gui)
