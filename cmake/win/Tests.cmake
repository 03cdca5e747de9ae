# The Windows tests, grouped as the product is. Each test program runs as one
# CTest test under Wine. Tests that share a file, window title, mutex name or
# registry key take the same RESOURCE_LOCK; so do those that inject keys,
# start programs that show windows, or read or take the foreground window
# (desktop_input): the keyboard stream and the foreground belong to the
# whole desktop. The virtual keyboard belongs to the whole prefix (vkbd):
# tests that plug it, and every test that runs discovery or keeps a main
# window past its 10 s start-up wait, which would open a keyboard another
# test plugged. Helper programs the tests start live in tests/win/programs.
function(orvane_win_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LOCK" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-test $<TARGET_FILE:${name}>)
  # A hang fails its test instead of holding up the run.
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(T_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCK}")
  endif()
endfunction()

# A program that ends with 0 without having run its tests fails.
add_test(NAME wine_test_needs_the_summary COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-test cmd.exe /c echo ran)
set_tests_properties(wine_test_needs_the_summary PROPERTIES
  PASS_REGULAR_EXPRESSION "ended with 0 but without GoogleTest's summary")

# log
orvane_win_test(log_tests SOURCES tests/win/log/LogTest.cpp LIBS orvane_log LOCK c_log)
# Once more where the ANSI code page is Cyrillic (1251): Wine takes it from
# the locale, here a Russian one compiled into the build tree.
set(RU_LOCALE ${CMAKE_BINARY_DIR}/locale/ru_RU.UTF-8)
add_custom_command(OUTPUT ${RU_LOCALE}/LC_CTYPE
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale
  COMMAND localedef -i ru_RU -f UTF-8 ${RU_LOCALE}
  COMMENT "Compiling a Russian locale for the code-page test")
add_custom_target(ru_locale ALL DEPENDS ${RU_LOCALE}/LC_CTYPE)
add_test(NAME log_tests_cp1251
  COMMAND env LOCPATH=${CMAKE_BINARY_DIR}/locale LC_ALL=ru_RU.UTF-8 ORVANE_EXPECT_ACP=1251
    ${CMAKE_SOURCE_DIR}/scripts/wine-run $<TARGET_FILE:log_tests> --gtest_filter=LogTest.WideArguments*)
set_tests_properties(log_tests_cp1251 PROPERTIES RESOURCE_LOCK c_log)

# fw
orvane_win_test(fw_tests SOURCES tests/win/fw/FrameworkTest.cpp LIBS orvane_fw)
add_library(orvane_marker SHARED tests/win/programs/MarkerDll.cpp)
set_target_properties(orvane_marker PROPERTIES PREFIX "")
add_dependencies(fw_tests orvane_marker)
add_executable(system_info_probe tests/win/programs/SystemInfoProbe.cpp)
target_link_libraries(system_info_probe orvane_fw)
orvane_win_test(system_info_tests SOURCES tests/win/fw/SystemInfoTest.cpp LIBS orvane_fw)
add_dependencies(system_info_tests system_info_probe)

# hid
orvane_win_test(hid_link_tests SOURCES tests/win/hid/HidLinkTest.cpp
  LIBS orvane_hid orvane_hid_platform orvane_virtual_keyboard LOCK c_log vkbd)
orvane_win_test(hid_real_platform_tests SOURCES tests/win/hid/HidRealPlatformTest.cpp
  LIBS orvane_hid orvane_hid_platform orvane_virtual_keyboard LOCK c_log vkbd)
orvane_win_test(probe_tests SOURCES tests/win/hid/ProbeTest.cpp tools/probe/StatusGather.cpp
  LIBS orvane_virtual_keyboard orvane_hid orvane_hid_platform orvane_tools orvane_task orvane_actions
  msi LOCK vkbd)
add_dependencies(probe_tests orvane_probe orvane_vkbd orvane_post)

# settings
orvane_win_test(settings_tests SOURCES tests/win/settings/SettingsTest.cpp LIBS orvane_settings)

# actions
add_executable(snip_probe tests/win/programs/SnipProbe.cpp)
add_executable(snip_runner tests/win/programs/SnipRunner.cpp)
target_include_directories(snip_runner PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(snip_runner orvane_actions)
orvane_win_test(shell_actions_tests SOURCES tests/win/actions/ShellActionsTest.cpp
  LIBS orvane_actions LOCK desktop_input c_log)
add_dependencies(shell_actions_tests snip_probe snip_runner)
orvane_win_test(mic_mute_tests SOURCES tests/win/actions/MicMuteTest.cpp
  LIBS orvane_actions orvane_sim LOCK mic_companion)
orvane_win_test(fn_lock_tests SOURCES tests/win/actions/FnLockTest.cpp
  LIBS orvane_actions LOCK fnlock_registry)
orvane_win_test(game_zone_tests SOURCES tests/win/actions/GameZoneClientTest.cpp
  LIBS orvane_actions orvane_sim LOCK c_log)
orvane_win_test(hotkey_action_tests SOURCES tests/win/actions/HotkeyActionsTest.cpp
  LIBS orvane_actions orvane_sim LOCK config_file fnlock_registry mic_companion desktop_input)

# osd: the programs carry the bitmaps, and all make or look for the OSD mutex.
function(orvane_osd_test name)
  orvane_win_test(${name} ${ARGN} LIBS orvane_app orvane_hid_platform LOCK osd_mutex vkbd)
  orvane_carry_osd_bitmaps(${name})
endfunction()
orvane_osd_test(osd_tests SOURCES tests/win/osd/OsdTest.cpp tests/win/osd/OsdSkinTest.cpp)
# It takes the foreground and checks that the bar leaves it there.
set_property(TEST osd_tests APPEND PROPERTY RESOURCE_LOCK desktop_input)
add_dependencies(osd_tests Orvane_Keyboard_Hid)
orvane_osd_test(osd_first_request_tests SOURCES tests/win/osd/OsdFirstRequestTest.cpp)
orvane_osd_test(osd_name_taken_tests SOURCES tests/win/osd/OsdNameTakenTest.cpp)

add_executable(osd_screen_probe tests/win/programs/OsdScreenProbe.cpp)
target_include_directories(osd_screen_probe PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(osd_screen_probe orvane_app orvane_hid_platform)
orvane_carry_osd_bitmaps(osd_screen_probe)

# The same checks on a 1366x768 screen, and the screenshots on both sizes,
# each on an X server of its own. with-display stops the Wine server of its
# prefix when it ends, so these share a prefix of their own, one at a time.
# The screenshots need Debian's python3, which python3-pil serves.
set(OSD_PREFIX ${CMAKE_BINARY_DIR}/wineprefix-osd)
set(OSD_DISPLAY env -u DISPLAY WINEPREFIX=${OSD_PREFIX} ${CMAKE_SOURCE_DIR}/scripts/with-display)
add_test(NAME osd_tests_1366x768
  COMMAND env SCREEN_SIZE=1366x768x24 ${OSD_DISPLAY} ${CMAKE_SOURCE_DIR}/scripts/wine-run
    $<TARGET_FILE:osd_tests> --gtest_filter=OsdTest.EachState*:OsdTest.RepaintPuts*)
foreach(size 1920x1080 1366x768)
  add_test(NAME osd_screens_${size}
    COMMAND env SCREEN_SIZE=${size}x24 ${OSD_DISPLAY} /usr/bin/python3
      ${CMAKE_SOURCE_DIR}/tests/osd/osd_screens.py --probe $<TARGET_FILE:osd_screen_probe>
      --bitmaps ${CMAKE_CURRENT_BINARY_DIR}/res --skins ${OSD_SKIN_DIR}
      --out ${CMAKE_BINARY_DIR}/osd-screens/${size})
endforeach()
set_tests_properties(osd_tests_1366x768 osd_screens_1920x1080 osd_screens_1366x768
  PROPERTIES RESOURCE_LOCK wineprefix_osd)

# app: the main window in-process, then the built programs started as a user
# would (they read and start the executables beside them).
orvane_win_test(app_tests SOURCES tests/win/app/AppTest.cpp LIBS orvane_app orvane_hid_platform
  LOCK main_instance c_log fnlock_registry vkbd)
# Stands in for the companion program started by command 6001.
add_executable(Gaming WIN32 tests/win/programs/GamingMarker.cpp)
target_link_options(Gaming PRIVATE -municode)
orvane_win_test(main_window_tests SOURCES tests/win/app/MainWindowTest.cpp
  LIBS orvane_app orvane_hid_platform orvane_virtual_keyboard
  LOCK main_instance c_log vkbd fnlock_registry osd_mutex desktop_input)
add_dependencies(main_window_tests Gaming)
orvane_carry_osd_bitmaps(main_window_tests)  # the Fn-lock keys show the bar
orvane_win_test(dispatcher_tests SOURCES tests/win/app/DispatcherTest.cpp
  LIBS orvane_app orvane_hid_platform orvane_sim
  LOCK main_instance c_log fnlock_registry config_file osd_mutex mic_companion desktop_input vkbd)
orvane_carry_osd_bitmaps(dispatcher_tests)
orvane_win_test(robustness_tests SOURCES tests/win/app/RobustnessTest.cpp
  LIBS orvane_app orvane_hid_platform orvane_virtual_keyboard orvane_sim
  LOCK main_instance c_log vkbd fnlock_registry config_file osd_mutex mic_companion desktop_input)
orvane_carry_osd_bitmaps(robustness_tests)

orvane_win_test(exe_resource_tests SOURCES tests/win/app/ExeResourceTest.cpp LIBS version)
add_dependencies(exe_resource_tests Orvane_Keyboard_Hid)
orvane_win_test(exe_run_tests SOURCES tests/win/app/ExeRunTest.cpp LOCK main_instance fnlock_registry vkbd)
add_dependencies(exe_run_tests Orvane_Keyboard_Hid orvane_logon_task orvane_marker)
orvane_win_test(diagnostic_build_tests SOURCES tests/win/app/DiagnosticBuildTest.cpp LIBS orvane_log
  LOCK main_instance c_log fnlock_registry vkbd)
add_dependencies(diagnostic_build_tests Orvane_Keyboard_Hid Orvane_Keyboard_Hid_diag)
orvane_win_test(end_to_end_tests SOURCES tests/win/app/EndToEndTest.cpp
  LIBS orvane_log orvane_actions orvane_osd
  LOCK main_instance c_log vkbd fnlock_registry config_file osd_mutex desktop_input)
add_dependencies(end_to_end_tests Orvane_Keyboard_Hid Orvane_Keyboard_Hid_diag osd_screen_probe
  orvane_vkbd Gaming)

# installer
orvane_win_test(installer_tests SOURCES tests/win/installer/InstallerTest.cpp
  LIBS orvane_task orvane_actions msi version LOCK main_instance fnlock_registry vkbd)
add_executable(other_setup_uninstaller tests/win/programs/OtherSetupUninstaller.cpp)
target_link_options(other_setup_uninstaller PRIVATE -municode)
add_dependencies(installer_tests installer other_setup_uninstaller orvane_probe)
