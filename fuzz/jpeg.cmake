# Seeds: small grey, colour (4:2:0, 4:2:2 with restart markers, 4:4:4
# optimised), progressive and arithmetic-coded files made with cjpeg.
kss_fuzz_target(jpeg fuzz_jpeg.cpp DEPS kss_imaging)
