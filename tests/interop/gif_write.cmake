# Every GIF of the suites that loads, re-encoded by both encoders (interlaced
# or not), decodes in giflib to the frames' pixels and in Pillow to what
# Pillow shows for the original; screenshots saved as GIF show the reduced
# colours.
find_package(GIF REQUIRED)
add_executable(gif_write_tool ${CMAKE_CURRENT_SOURCE_DIR}/gif_write_tool.cpp)
target_link_libraries(gif_write_tool PRIVATE kss_gif GIF::GIF Qt6::Gui)
target_include_directories(gif_write_tool PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit/gif)
add_test(NAME interop_gif_write
         COMMAND ${KSS_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/gif_write_interop.py
                 $<TARGET_FILE:gif_write_tool> ${KSS_TESTDATA_DIR}/suites/gif ${KSS_TESTDATA_DIR}/screens)
set_tests_properties(interop_gif_write PROPERTIES LABELS interop TIMEOUT 600
                     ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
