# Our PNG files pass pngcheck -v and decode in Pillow to the pixels we wrote;
# saved screenshots decode to the pixels of the original capture.
add_executable(png_interop_tool ${CMAKE_CURRENT_SOURCE_DIR}/png_interop_tool.cpp)
target_link_libraries(png_interop_tool PRIVATE kss_imaging Qt6::Gui)
add_test(NAME interop_png
         COMMAND ${KSS_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/png_interop.py
                 $<TARGET_FILE:png_interop_tool> ${KSS_TESTDATA_DIR}/screens)
set_tests_properties(interop_png PROPERTIES LABELS interop TIMEOUT 600)
