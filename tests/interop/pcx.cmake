# PCX both ways with Pillow (pcx_interop.py); the same tool makes the MNG
# files that mng.cmake checks.
add_executable(pcx_interop_tool ${CMAKE_CURRENT_SOURCE_DIR}/pcx_interop_tool.cpp)
target_link_libraries(pcx_interop_tool PRIVATE kss_imaging Qt6::Gui)
add_test(NAME interop_pcx COMMAND ${KSS_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/pcx_interop.py
                                  $<TARGET_FILE:pcx_interop_tool>)
set_tests_properties(interop_pcx PROPERTIES LABELS interop TIMEOUT 120)
