kss_fuzz_target(mapfile fuzz_mapfile.cpp DEPS kss_support)
