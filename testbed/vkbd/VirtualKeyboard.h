// The keyboard played in the system's own HID stack: a bus driver of ours
// presents its collections as HID devices (testbed/vhid/), so programs find
// them with SetupAPI, read them and send them feature reports through
// HID.DLL, and hear of their arrival and removal from the system, exactly
// as with the real keyboard. This object is the driver's client: it plugs
// the keyboard in and out, types reports and reads back what the keyboard
// was sent. Used by the tests in-process and by the vkbd program.
//
// The driver's state belongs to the Wine prefix, not to this object: one
// keyboard per prefix, driven by one client at a time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fw/UniqueHandle.h"
#include "hid/HidInterfaceRules.h"
#include "hid/KeyboardIds.h"
#include "testbed/vhid/VhidKeyboard.h"

struct VirtualCollection {
  int kind = 0;       // its place in VhidKeyboard.h's table
  std::wstring path;  // the device path SetupAPI gives
  HidInterfaceFacts facts;
  bool sendsKeys = false;  // input reports come from this one
};

class CVirtualKeyboard {
 public:
  // Opens the bus, installing its drivers into this prefix from the folder
  // of the running program when they are not there yet, and begins a new
  // session: unplugged, no feature report taken or refused. collections
  // says what a plug brings (VhidKeyboard.h: VHID_KEYBOARD, VHID_DECOYS,
  // single VHID_BIT()s); vendorId and productId are the keyboard's.
  explicit CVirtualKeyboard(uint32_t collections = VHID_KEYBOARD,
                            uint16_t vendorId = kKeyboardVendorId,
                            uint16_t productId = kKeyboardProductId);
  ~CVirtualKeyboard();  // pulls the keyboard out
  CVirtualKeyboard(const CVirtualKeyboard&) = delete;
  CVirtualKeyboard& operator=(const CVirtualKeyboard&) = delete;

  // Empty when the bus is open; else why not.
  const std::string& Error() const { return m_error; }

  // What a plug brings, the keyboard's own collections first.
  std::vector<VirtualCollection> Collections() const;

  // Each waits until the system lists every collection plugged, or none of
  // them. A plug brings those of collections (0: all of this keyboard's)
  // not plugged in yet in two steps, as a keyboard whose interfaces come up
  // in turn: by default the vendor-defined collection last, else first;
  // the second step pauseMs after the system lists the first.
  enum class Order { kVendorLast, kVendorFirst };
  bool Plug(uint32_t collections = 0, Order order = Order::kVendorLast, DWORD pauseMs = 0);
  bool Unplug();
  bool IsPlugged();

  // Sends one input report of the key collection (report ID 2, at most 8
  // bytes; shorter ones are padded with zeros): the handles open on it that
  // it reached, or -1 when the keyboard cannot send it.
  int SendInputReport(const std::vector<uint8_t>& report);
  // Feature reports taken this session, in order (the latest 4096), and
  // how many were taken in all.
  std::vector<std::vector<uint8_t>> FeatureReports();
  int TakenFeatureReports();
  // The next count feature reports fail, as with a keyboard that is not
  // ready; how many failed so far.
  void RefuseFeatureReports(int count);
  int RefusedFeatureReports();
  // Paths of the collections the programs hold open, one entry per handle.
  std::vector<std::wstring> OpenHandles();
  // The keyboard hears of a close a moment after the call returns: the
  // paths, sorted, once they are the expected ones, or as they are after 2 s.
  std::vector<std::wstring> OpenHandlesOnceSettled(std::vector<std::wstring> expected);

  // One request to the bus as it stands (VhidControl.h); tests send it
  // malformed ones.
  bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* returned = nullptr);

 private:
  bool WaitListed(uint32_t collections);

  const uint32_t m_collections;
  const uint16_t m_vendorId, m_productId;
  CFileHandle m_bus;
  std::string m_error;
};
