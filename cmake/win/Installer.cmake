# The distribution folder (what is installed together) and its installer,
# for this build's bitness.
set(DIST_DIR ${CMAKE_CURRENT_BINARY_DIR}/dist)
add_custom_target(dist ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST_DIR}/skins
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Orvane_Keyboard_Hid> ${DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/res/config ${CMAKE_SOURCE_DIR}/README.md ${DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${OSD_SKINS} ${DIST_DIR}/skins
  DEPENDS Orvane_Keyboard_Hid osd_art
  COMMENT "Filling the distribution folder")

find_program(MAKENSIS makensis REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SETUP_ARCH x64)
  set(SETUP ${CMAKE_CURRENT_BINARY_DIR}/Orvane_Keyboard_Setup_x64.exe)
else()
  set(SETUP_ARCH x86)
  set(SETUP ${CMAKE_CURRENT_BINARY_DIR}/Orvane_Keyboard_Setup.exe)
endif()
add_custom_command(OUTPUT ${SETUP}
  COMMAND ${MAKENSIS} -V2 -DARCH=${SETUP_ARCH} -DDIST=${DIST_DIR}
    -DTASK_TOOL=$<TARGET_FILE:orvane_logon_task> -DICON=${ICON} -DOUTFILE=${SETUP}
    ${CMAKE_SOURCE_DIR}/installer/Orvane_Keyboard.nsi
  DEPENDS ${CMAKE_SOURCE_DIR}/installer/Orvane_Keyboard.nsi Orvane_Keyboard_Hid orvane_logon_task
    ${ICON} ${CMAKE_SOURCE_DIR}/res/config ${CMAKE_SOURCE_DIR}/README.md ${OSD_SKINS}
  COMMENT "Building the installer")
add_custom_target(installer ALL DEPENDS ${SETUP})
add_dependencies(installer dist)
