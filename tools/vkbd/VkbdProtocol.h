// How the virtual keyboard and the virtual HID platform talk. Each HID
// collection is a message-mode named pipe whose name is a device path; a
// control pipe lists the collections that are plugged in.
//
// Client to collection: kQuery, answered with a HidInterfaceFacts record
// (four little-endian 16-bit words: vendor, product, usage page, usage);
// kSetFeature followed by the feature report, answered with one byte, 1 when
// the report was taken and 0 when it was refused. Collection to client: input
// reports, one message each, once the client has queried.
// Client to control pipe: kList, answered with the device paths in UTF-16,
// each ended by '\n'.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr wchar_t kVkbdControlPipe[] = L"\\\\.\\pipe\\orvane-virtual-keyboard";
constexpr uint8_t kVkbdQuery = 'Q';
constexpr uint8_t kVkbdSetFeature = 'F';
constexpr uint8_t kVkbdList = 'L';

// The HID device-interface class, as the system's HID class driver gives it.
constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF,
                                     {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
