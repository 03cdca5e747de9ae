# Windows build (mingw-w64 i686): the utility, its tools and the Windows
# tests, which CTest runs under Wine.
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
set(STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
add_link_options(${STATIC_RUNTIME})

option(ORVANE_DIAGNOSTIC_LOG "Turn the diagnostic log on at start" OFF)

add_library(orvane_log STATIC log/Log.cpp)
target_link_libraries(orvane_log PUBLIC orvane_portable)
if(ORVANE_DIAGNOSTIC_LOG)
  target_compile_definitions(orvane_log PRIVATE ORVANE_DIAGNOSTIC_LOG)
endif()

add_executable(Orvane_Keyboard_Hid WIN32 app/Main.cpp)
target_link_libraries(Orvane_Keyboard_Hid orvane_log)
target_link_options(Orvane_Keyboard_Hid PRIVATE -municode)

# Each Windows test program runs as one CTest test under Wine. Tests that
# share a file, window title or mutex name take the same RESOURCE_LOCK.
function(orvane_win_test name)
  cmake_parse_arguments(T "" "LOCK" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(T_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCK}")
  endif()
endfunction()

orvane_win_test(log_tests SOURCES tests/win/LogTest.cpp LIBS orvane_log LOCK c_log)

# The keyboard link. Its HID platform calls are resolved at link time: the
# utility links the real SetupAPI/HID.DLL ones, the virtual-keyboard build the
# virtual keyboard's.
add_library(orvane_hid STATIC hid/HidDevice.cpp hid/ServiceThread.cpp)
target_link_libraries(orvane_hid PUBLIC orvane_log)
add_library(orvane_hid_platform STATIC hid/HidPlatformWin.cpp)
target_link_libraries(orvane_hid_platform PUBLIC orvane_hid hid setupapi)
add_library(orvane_vkbd STATIC tools/vkbd/VirtualKeyboard.cpp)
target_link_libraries(orvane_vkbd PUBLIC orvane_portable)
add_library(orvane_vkbd_platform STATIC tools/vkbd/VirtualHidPlatform.cpp)
target_link_libraries(orvane_vkbd_platform PUBLIC orvane_hid)

orvane_win_test(hid_link_tests SOURCES tests/win/HidLinkTest.cpp
  LIBS orvane_hid orvane_vkbd_platform orvane_vkbd LOCK "c_log;vkbd")
