// A keyboard played in software for Wine: each HID collection is served as a
// named pipe with a believable device path, input reports are sent on
// command, feature reports are recorded, and the whole device can be
// unplugged and plugged in again. Used by the tests in-process and by the
// vkbd program.
//
// All pipe work happens on one I/O thread; the public calls hand it a command
// and wait for it, so they may be made from any thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fw/UniqueHandle.h"
#include "hid/HidInterfaceRules.h"
#include "hid/KeyboardIds.h"

struct VirtualCollection {
  std::wstring path;  // the device path the utility opens
  HidInterfaceFacts facts;
  bool sendsKeys = false;  // input reports go to this collection
};

class CVirtualKeyboard {
 public:
  // The keyboard's own collections: vendor-defined 0xFF00/1, consumer control
  // 0x0C/1 on interface 1 (which sends the keys), and the boot keyboard.
  static std::vector<VirtualCollection> KeyboardCollections(uint16_t vendorId = kKeyboardVendorId,
                                                            uint16_t productId = kKeyboardProductId);
  // Interfaces discovery must pass over: another vendor's consumer control,
  // a 0xFF00/2 collection, consumer controls whose path lacks "mi_01" or has
  // it in upper case only.
  static std::vector<VirtualCollection> DecoyCollections();

  explicit CVirtualKeyboard(std::vector<VirtualCollection> collections = KeyboardCollections());
  ~CVirtualKeyboard();
  CVirtualKeyboard(const CVirtualKeyboard&) = delete;
  CVirtualKeyboard& operator=(const CVirtualKeyboard&) = delete;

  const std::vector<VirtualCollection>& Collections() const { return m_collections; }

  void Plug();
  // Closes every collection pipe: reads pending on them fail, new opens fail.
  void Unplug();
  bool IsPlugged();

  // Tells window of a plug (arrival) or an unplug as the system tells the
  // windows registered for HID interfaces: one device-interface notification
  // per collection, named the way the system names them
  // ("\\?\HID#VID_17EF&PID_6100&MI_01..."), then a node change.
  void NotifyWindow(HWND window, bool arrival);

  // Sends one input report to every open handle of the key collection;
  // returns how many handles it reached.
  int SendInputReport(const std::vector<uint8_t>& report);
  // Feature reports taken so far, in order.
  std::vector<std::vector<uint8_t>> FeatureReports();
  // The next count feature reports are refused, as by a keyboard that is not
  // ready yet; how many were refused so far.
  void RefuseFeatureReports(int count);
  int RefusedFeatureReports();
  // Paths of the collections the clients hold open, one entry per handle.
  std::vector<std::wstring> OpenHandles();

 private:
  struct Pipe;

  using PipeIterator = std::list<std::unique_ptr<Pipe>>::iterator;

  void IoThread();
  void Run(std::function<void()> command);  // on the I/O thread, and wait
  void AddListener(const VirtualCollection* collection);
  void OnConnected(PipeIterator pipe);
  void StartRead(PipeIterator pipe);
  void OnPipeSignalled(PipeIterator pipe);
  // Acts on completed operations now, for answers that must be up to date.
  void TakeInCompletions();
  void OnMessage(Pipe& pipe, DWORD size);
  bool Write(Pipe& pipe, const void* data, DWORD size);
  void ClosePipe(Pipe& pipe);
  void RemoveCollectionPipes();

  const std::vector<VirtualCollection> m_collections;
  std::list<std::unique_ptr<Pipe>> m_pipes;  // I/O thread only
  bool m_plugged = false;
  bool m_quit = false;
  std::vector<std::vector<uint8_t>> m_featureReports;
  int m_toRefuse = 0;
  int m_refused = 0;

  std::mutex m_queueMutex;
  std::deque<std::function<void()>> m_queue;
  CKernelHandle m_wake;
  std::thread m_thread;
};
