# qrn_add_test(name SOURCES ... LIBS ...): one GoogleTest binary registered with CTest.
function(qrn_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# qrn_add_fuzz(name SOURCE src CORPUS dir): libFuzzer under Clang with QRN_BUILD_FUZZ,
# otherwise a replay binary that CTest runs over the checked-in corpus.
function(qrn_add_fuzz name)
  cmake_parse_arguments(F "" "SOURCE;CORPUS" "LIBS" ${ARGN})
  if(QRN_BUILD_FUZZ)
    add_executable(${name} ${F_SOURCE})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  else()
    add_executable(${name} ${F_SOURCE} ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    add_test(NAME ${name}_replay COMMAND ${name} ${F_CORPUS})
  endif()
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
endfunction()
