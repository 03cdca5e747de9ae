# The world the tests play (testbed/), never installed on a user's machine:
# the virtual keyboard in the system's HID stack, and fake Core Audio and
# WMI worlds, the tests' stand-ins for a capture device and the machine's
# fan class, and the simulation build's.

include(cmake/win/VirtualKeyboard.cmake)

add_library(orvane_sim STATIC
  testbed/sim/FakeCom.cpp
  testbed/sim/FakeCoreAudio.cpp
  testbed/sim/FakeWmi.cpp)
target_include_directories(orvane_sim PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(orvane_sim PUBLIC ole32 oleaut32 uuid wbemuuid)
