# The BMP suite loads as Pillow reads it (g/), sensibly or with a clean
# failure (q/, by a table), never (b/); our BMP files read back in Pillow.
add_executable(bmp_interop_tool ${CMAKE_CURRENT_SOURCE_DIR}/bmp_interop_tool.cpp)
target_link_libraries(bmp_interop_tool PRIVATE kss_imaging Qt6::Gui)
add_test(NAME interop_bmp
         COMMAND ${KSS_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/bmp_interop.py
                 $<TARGET_FILE:bmp_interop_tool> ${KSS_TESTDATA_DIR})
set_tests_properties(interop_bmp PROPERTIES LABELS interop TIMEOUT 600)
