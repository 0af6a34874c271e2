# Seeds: small grey, colour, progressive, restart-marker and 1/8-scale files
# made by the loader's own saver and by libjpeg.
kss_fuzz_target(jpeg fuzz_jpeg.cpp DEPS kss_imaging)
