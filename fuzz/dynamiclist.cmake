kss_fuzz_target(dynamiclist fuzz_dynamiclist.cpp DEPS kss_imaging)
