# Icons and cursors of each saved depth decode in Pillow to the pixels we
# wrote (with the cursor's hot spot); Pillow's files, with 32-bit and PNG
# entries mixed in, give us their other images.
add_executable(ico_interop_tool ${CMAKE_CURRENT_SOURCE_DIR}/ico_interop_tool.cpp)
target_link_libraries(ico_interop_tool PRIVATE kss_imaging)
add_test(NAME interop_ico
         COMMAND ${KSS_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/ico_interop.py $<TARGET_FILE:ico_interop_tool>)
set_tests_properties(interop_ico PROPERTIES LABELS interop TIMEOUT 120)
