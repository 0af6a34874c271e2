kss_fuzz_target(wmf fuzz_wmf.cpp DEPS kss_imaging)
