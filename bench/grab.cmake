kss_benchmark(grab bench_grab.cpp DEPS kss_platform_os Qt6::Gui)
