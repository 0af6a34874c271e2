kss_fuzz_target(huffman fuzz_huffman.cpp DEPS kss_imaging)
