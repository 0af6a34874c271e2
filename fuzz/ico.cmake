kss_fuzz_target(ico fuzz_ico.cpp DEPS kss_imaging)
