kss_benchmark(banner bench_banner.cpp DEPS kss_app Qt6::Widgets)
