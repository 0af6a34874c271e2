# The plug-in's source is compiled into the target: the fuzzer calls its load
# function directly.
find_package(TIFF REQUIRED)
kss_fuzz_target(tiff fuzz_tiff.cpp DEPS TIFF::TIFF)
target_sources(fuzz_tiff PRIVATE ${CMAKE_SOURCE_DIR}/plugins/tiff/TIFFPlugin.cpp)
target_include_directories(fuzz_tiff PRIVATE ${CMAKE_SOURCE_DIR})
