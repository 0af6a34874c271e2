kss_fuzz_target(pcx fuzz_pcx.cpp DEPS kss_imaging)
