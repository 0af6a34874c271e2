kss_fuzz_target(hips fuzz_hips.cpp DEPS kss_imaging)
