kss_fuzz_target(bmp fuzz_bmp.cpp DEPS kss_imaging
                SEEDS ${KSS_TESTDATA_DIR}/suites/bmpsuite/g ${KSS_TESTDATA_DIR}/suites/bmpsuite/q
                      ${KSS_TESTDATA_DIR}/suites/bmpsuite/b)
