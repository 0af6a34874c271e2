# Helpers that keep every folder's build file short: a folder is one library
# target made of the sources it holds, and its unit tests are one executable.

# kss_library(<target> [QT] DEPS <libs...> [EXCLUDE <file names...>])
# Builds every .cpp of the current folder (not subfolders) into <target>.
# A folder without sources yet becomes an INTERFACE target so that
# dependants can already name it.
function(kss_library target)
  cmake_parse_arguments(ARG "QT" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "/${ex}$")
  endforeach()
  file(GLOB hdrs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  file(GLOB uis  CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.ui")
  if(srcs)
    add_library(${target} STATIC ${srcs} ${hdrs} ${uis})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    if(ARG_QT)
      set_target_properties(${target} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
    endif()
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# kss_unit_tests(<name> DEPS <libs...> [LABEL unit])
# Every .cpp of the current test folder becomes one gtest executable with the
# shared main (which creates the offscreen QApplication).
function(kss_unit_tests name)
  cmake_parse_arguments(ARG "" "LABEL" "DEPS" ${ARGN})
  if(NOT ARG_LABEL)
    set(ARG_LABEL unit)
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT srcs)
    return()
  endif()
  set(exe test_${name})
  add_executable(${exe} ${srcs})
  set_target_properties(${exe} PROPERTIES AUTOMOC ON)
  target_link_libraries(${exe} PRIVATE kss_test_main ${ARG_DEPS} GTest::gtest GTest::gmock)
  target_compile_definitions(${exe} PRIVATE
    KSS_TESTDATA_DIR="${KSS_TESTDATA_DIR}"
    KSS_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    KSS_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${exe} COMMAND ${exe})
  set_tests_properties(${exe} PROPERTIES LABELS ${ARG_LABEL}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)
endfunction()
