# Our Windows metafiles are read by an independent metafile reader.
add_executable(wmf_interop_tool ${CMAKE_CURRENT_SOURCE_DIR}/wmf_interop_tool.cpp)
target_link_libraries(wmf_interop_tool PRIVATE kss_imaging Qt6::Gui)
add_test(NAME interop_wmf
         COMMAND ${KSS_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/wmf_interop.py
                 $<TARGET_FILE:wmf_interop_tool> ${KSS_TESTDATA_DIR}/screens/web-index-1920x1080.png)
set_tests_properties(interop_wmf PROPERTIES LABELS interop TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
