# One library per source folder: its sources are every .cpp/.h in the folder
# (not below it), so a new file needs no edit here. What a library may use is
# exactly its DEPS, which keeps the dependency direction a link error.
function(brenvoy_library target)
  # SERIAL: the tests keep time with a peer (audio paced in real time), so
  # they run alone rather than beside another test for the same cores.
  cmake_parse_arguments(ARG "SERIAL" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    return()
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
endfunction()

# One test executable per test folder, linked with the shared test main.
# Every GoogleTest case becomes its own CTest test.
function(brenvoy_tests target)
  # SERIAL: the tests keep time with a peer (audio paced in real time), so
  # they run alone rather than beside another test for the same cores.
  cmake_parse_arguments(ARG "SERIAL" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    return()
  endif()
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE brenvoy_testmain brenvoy_testsupport ${ARG_DEPS})
  target_compile_definitions(${target} PRIVATE
      BRENVOY_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
  set(serial FALSE)
  if(ARG_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" RUN_SERIAL ${serial})
endfunction()
