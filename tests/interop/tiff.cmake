# The TIFF plug-in reads what Pillow and ImageMagick write, and Pillow reads
# what it writes.
add_executable(tiff_interop_tool ${CMAKE_CURRENT_SOURCE_DIR}/tiff_interop_tool.cpp)
target_link_libraries(tiff_interop_tool PRIVATE kss_imaging Qt6::Gui)
add_dependencies(tiff_interop_tool kss_tiff_plugin)
add_test(NAME interop_tiff
         COMMAND ${KSS_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/tiff_interop.py
                 $<TARGET_FILE:tiff_interop_tool> $<TARGET_FILE:kss_tiff_plugin>
                 ${KSS_TESTDATA_DIR}/screens/web-docs-1920x1080.png)
set_tests_properties(interop_tiff PROPERTIES LABELS interop TIMEOUT 300
                     ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
