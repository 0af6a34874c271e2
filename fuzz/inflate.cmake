kss_fuzz_target(inflate fuzz_inflate.cpp DEPS kss_imaging)
