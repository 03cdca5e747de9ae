# Host build: the portable layer's unit tests, with sanitizers.
set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
target_compile_options(orvane_portable PUBLIC ${SANITIZE})
target_link_options(orvane_portable PUBLIC ${SANITIZE})

add_executable(native_tests
  tests/native/DeviceNotificationTest.cpp
  tests/native/FanModeTest.cpp
  tests/native/HidInterfaceRulesTest.cpp
  tests/native/KeyReportTest.cpp
  tests/native/LogStampTest.cpp
  tests/native/OsdImageTest.cpp
  tests/native/OsdRequestTest.cpp
  tests/native/ReplayTest.cpp
  tests/native/StatusTest.cpp)
target_link_libraries(native_tests orvane_replay_core GTest::gtest_main)
add_test(NAME native_tests COMMAND native_tests)

# The replay tool end to end: a recording with a bad line replays the rest
# and exits 1.
add_test(NAME replay_cli COMMAND ${CMAKE_COMMAND}
  -DREPLAY=$<TARGET_FILE:orvane_replay>
  -DRECORDING=${CMAKE_SOURCE_DIR}/tests/data/session.rec
  -DEXPECTED=${CMAKE_SOURCE_DIR}/tests/data/session.out
  -P ${CMAKE_SOURCE_DIR}/tests/native/ReplayCli.cmake)
