kss_fuzz_target(gif fuzz_gif.cpp DEPS kss_gif SEEDS ${KSS_TESTDATA_DIR}/suites/gif)
