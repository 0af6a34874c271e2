kss_fuzz_target(inflate fuzz_inflate.cpp DEPS kss_imaging)
# The fuzzer needs coverage of the library code it drives, not only of the
# target's own file. The sanitizer runtime supplies the hooks for every other
# executable linked with the library.
if(KSS_FUZZ AND KSS_SANITIZE)
  target_compile_options(kss_imaging PRIVATE -fsanitize=fuzzer-no-link)
endif()
