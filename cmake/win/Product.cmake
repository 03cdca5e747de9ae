# The utility: one library per subsystem, then the executable and the
# variants of it that differ only in their entry file.
option(ORVANE_DIAGNOSTIC_LOG "Build Orvane_Keyboard_Hid.exe with the log on at start" OFF)

add_library(orvane_log STATIC log/Log.cpp)
target_link_libraries(orvane_log PUBLIC orvane_portable orvane_fw)

# Our stand-in for the application framework, and the plain system queries.
add_library(orvane_fw STATIC
  fw/FileFind.cpp
  fw/RegisterWndClass.cpp
  fw/SystemInfo.cpp
  fw/WinApp.cpp
  fw/Wnd.cpp)
target_include_directories(orvane_fw PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(orvane_fw PUBLIC wtsapi32)

# The keyboard link, and its SetupAPI/HID.DLL calls (an object library, so
# the link order of static archives cannot drop them).
add_library(orvane_hid STATIC hid/HidDevice.cpp hid/ServiceThread.cpp hid/StopSignal.cpp)
target_link_libraries(orvane_hid PUBLIC orvane_log)
add_library(orvane_hid_platform OBJECT hid/HidPlatformWin.cpp)
target_link_libraries(orvane_hid_platform PUBLIC orvane_hid hid setupapi)

add_library(orvane_settings STATIC settings/IniFile.cpp settings/Settings.cpp)
target_link_libraries(orvane_settings PUBLIC orvane_fw)

add_library(orvane_actions STATIC
  actions/FnLock.cpp
  actions/GameZoneClient.cpp
  actions/HotkeyActions.cpp
  actions/MicMute.cpp
  actions/ShellActions.cpp)
target_link_libraries(orvane_actions PUBLIC orvane_fw orvane_settings orvane_log
  ole32 oleaut32 uuid wbemuuid shell32)

add_library(orvane_osd STATIC osd/LoadSkin.cpp osd/osdmain.cpp osd/WTOSD.cpp)
target_link_libraries(orvane_osd PUBLIC orvane_fw orvane_portable gdiplus oleaut32)

# CHidApp and the main window, which wires the others to its messages.
add_library(orvane_app STATIC
  app/HidApp.cpp
  app/MyWnd.cpp
  app/MyWndCommands.cpp
  app/MyWndDevice.cpp
  app/MyWndKeys.cpp
  app/MyWndRouting.cpp)
target_link_libraries(orvane_app PUBLIC orvane_fw orvane_hid orvane_log orvane_actions
  orvane_settings orvane_osd shell32 ole32)

# orvane_version_record(TARGET [VERSION]): the Version.h its resources
# include, of the project's version unless another is given.
function(orvane_version_record target)
  set(version ${PROJECT_VERSION})
  if(ARGN)
    set(version ${ARGN})
  endif()
  set(VERSION_TEXT ${version})
  string(REPLACE "." "," VERSION_FIELDS ${version})
  configure_file(${CMAKE_SOURCE_DIR}/res/Version.h.in ${CMAKE_CURRENT_BINARY_DIR}/version/${version}/Version.h)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/version/${version})
endfunction()

# orvane_utility(NAME PLATFORM [MAIN FILE] [VERSION X.Y.Z.W]): the utility
# with another entry file, or another version in its record.
function(orvane_utility name platform)
  cmake_parse_arguments(U "" "MAIN;VERSION" "" ${ARGN})
  if(NOT U_MAIN)
    set(U_MAIN app/Main.cpp)
  endif()
  add_executable(${name} WIN32 ${U_MAIN} fw/WinMain.cpp res/Orvane_Keyboard_Hid.rc ${ICON})
  orvane_version_record(${name} ${U_VERSION})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/res ${CMAKE_CURRENT_BINARY_DIR}/res)
  target_link_libraries(${name} orvane_app ${platform})
  # Symbols stripped: what ships is the program alone.
  target_link_options(${name} PRIVATE -municode -s)
  add_dependencies(${name} osd_art)  # the bitmaps it carries, the skins beside it
endfunction()

orvane_utility(Orvane_Keyboard_Hid orvane_hid_platform)
if(ORVANE_DIAGNOSTIC_LOG)
  target_compile_definitions(Orvane_Keyboard_Hid PRIVATE ORVANE_DIAGNOSTIC_LOG)
endif()
orvane_utility(Orvane_Keyboard_Hid_diag orvane_hid_platform)
target_compile_definitions(Orvane_Keyboard_Hid_diag PRIVATE ORVANE_DIAGNOSTIC_LOG)
# The capture device and the fan class simulated, which Wine lacks; the
# keyboard is the virtual one in the system's HID stack: the demo.
orvane_utility(Orvane_Keyboard_Hid_sim orvane_hid_platform MAIN testbed/sim/SimMain.cpp)
target_link_libraries(Orvane_Keyboard_Hid_sim orvane_sim)
