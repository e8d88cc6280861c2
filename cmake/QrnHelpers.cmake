# qrn_add_test(name SOURCES ... LIBS ...): one GoogleTest binary registered with CTest.
function(qrn_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# qrn_add_fuzz(format LIBS ...): target fuzz_<format> from tests/fuzz/fuzz_<format>.cpp.
# libFuzzer under Clang with QRN_BUILD_FUZZ, otherwise a replay binary that CTest
# runs over the checked-in corpus tests/fuzz/corpus/<format>.
function(qrn_add_fuzz format)
  cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
  set(name fuzz_${format})
  set(source ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_${format}.cpp)
  if(QRN_BUILD_FUZZ)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  else()
    add_executable(${name} ${source} ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    add_test(NAME ${name}_replay
      COMMAND ${name} ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${format})
  endif()
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
endfunction()
