kss_fuzz_target(png fuzz_png.cpp DEPS kss_imaging SEEDS ${KSS_TESTDATA_DIR}/suites/pngsuite)
