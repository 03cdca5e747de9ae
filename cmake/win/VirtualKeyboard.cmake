# The virtual keyboard's driver package, beside the test programs and tools:
# the bus driver, the HID minidriver, their INF and their installer. All
# 64-bit whatever this tree builds: Wine's device host in the 64-bit prefixes
# the tests use is a 64-bit process. Built with the x86-64 gcc directly,
# since a CMake tree has one compiler per language.
find_program(VHID_CC NAMES x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc REQUIRED)
set(VHID_FLAGS -std=gnu11 -O2 -Wall -Wextra -Wshadow -Wformat=2 -I${CMAKE_SOURCE_DIR})
if(ORVANE_WERROR)
  list(APPEND VHID_FLAGS -Werror)
endif()
set(VHID_DDK -I/usr/share/mingw-w64/include/ddk -shared -nostdlib -nostartfiles
  -Wl,--subsystem,native -Wl,--entry,DriverEntry)
set(VHID_HEADERS ${CMAKE_SOURCE_DIR}/testbed/vhid/HidMinidriver.h ${CMAKE_SOURCE_DIR}/testbed/vhid/VhidControl.h
  ${CMAKE_SOURCE_DIR}/testbed/vhid/VhidKeyboard.h)
set(VHID_PACKAGE)
foreach(driver vbus:bus vhid:hid)
  string(REPLACE ":" ";" parts ${driver})
  list(GET parts 0 name)
  list(GET parts 1 source)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/orvane_${name}.sys
    COMMAND ${VHID_CC} ${VHID_FLAGS} ${VHID_DDK} -o ${CMAKE_BINARY_DIR}/orvane_${name}.sys
      ${CMAKE_SOURCE_DIR}/testbed/vhid/${source}.c -lntoskrnl -lhidclass -lhal
    DEPENDS ${CMAKE_SOURCE_DIR}/testbed/vhid/${source}.c ${VHID_HEADERS}
    COMMENT "Building the virtual keyboard's driver orvane_${name}.sys")
  list(APPEND VHID_PACKAGE ${CMAKE_BINARY_DIR}/orvane_${name}.sys)
endforeach()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/orvane_vhid_install.exe
  COMMAND ${VHID_CC} ${VHID_FLAGS} -municode -static -o ${CMAKE_BINARY_DIR}/orvane_vhid_install.exe
    ${CMAKE_SOURCE_DIR}/testbed/vhid/install.c -lsetupapi -lnewdev
  DEPENDS ${CMAKE_SOURCE_DIR}/testbed/vhid/install.c
  COMMENT "Building the virtual keyboard's driver installer")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/orvane_vhid.inf
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/testbed/vhid/orvane_vhid.inf ${CMAKE_BINARY_DIR}/
  DEPENDS ${CMAKE_SOURCE_DIR}/testbed/vhid/orvane_vhid.inf)
add_custom_target(vhid_package ALL DEPENDS ${VHID_PACKAGE} ${CMAKE_BINARY_DIR}/orvane_vhid_install.exe
  ${CMAKE_BINARY_DIR}/orvane_vhid.inf)

# The drivers' client: plugs the keyboard in and out, types and reads back.
add_library(orvane_virtual_keyboard STATIC testbed/vkbd/VirtualKeyboard.cpp)
target_link_libraries(orvane_virtual_keyboard PUBLIC orvane_fw orvane_hid_platform)
add_dependencies(orvane_virtual_keyboard vhid_package)
add_executable(orvane_vkbd testbed/vkbd/main.cpp)
target_link_libraries(orvane_vkbd orvane_virtual_keyboard orvane_tools)
