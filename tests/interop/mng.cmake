# Our MNG files decode in ImageMagick (pcx_interop_tool from pcx.cmake makes them).
add_test(NAME interop_mng COMMAND ${KSS_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/mng_interop.py
                                  $<TARGET_FILE:pcx_interop_tool>)
set_tests_properties(interop_mng PROPERTIES LABELS interop TIMEOUT 120)
