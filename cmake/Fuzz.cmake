# Fuzzers of the portable code (clang, libFuzzer). `make test` runs each for a
# few seconds; `make bench` runs them longer. A crash they find becomes a
# unit test.
set(FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
target_compile_options(orvane_portable PUBLIC -fsanitize=fuzzer-no-link,address,undefined)
target_link_options(orvane_portable PUBLIC -fsanitize=address,undefined)

set(ORVANE_FUZZ_SECONDS 5 CACHE STRING "How long each fuzzer runs as a test")
foreach(fuzzer ReplayFuzz KeyReportFuzz DeviceNotificationFuzz OsdRequestFuzz)
  add_executable(${fuzzer} tests/fuzz/${fuzzer}.cpp)
  target_compile_options(${fuzzer} PRIVATE ${FUZZ_FLAGS})
  target_link_options(${fuzzer} PRIVATE ${FUZZ_FLAGS})
  target_link_libraries(${fuzzer} orvane_replay_core)
  # New inputs go to the build's own corpus; the seeds in the tree stay as they are.
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/corpus/${fuzzer})
  add_test(NAME ${fuzzer} COMMAND ${fuzzer} -max_total_time=${ORVANE_FUZZ_SECONDS} -seed=1
    ${CMAKE_BINARY_DIR}/corpus/${fuzzer} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${fuzzer})
endforeach()
