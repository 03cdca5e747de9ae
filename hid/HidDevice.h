// The keyboard link: the handles of the keyboard's two collections, the
// reader's buffer and repeat filter, and the accepted IDs. Held by the main
// window object.
//
// Threads: discovery runs on the window thread and on the start-up worker;
// runs are serialised, and the reader thread (ServiceThread) takes the input
// handle under the same lock, so no read is ever issued on a handle that has
// been closed, and a read pending on a replaced handle ends without an event.
// With nothing to read the reader sleeps until discovery hands it a handle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>

#include "fw/UniqueHandle.h"
#include "hid/KeyReport.h"
#include "hid/KeyboardIds.h"
#include "hid/StopSignal.h"

// The reader thread; one per process.
extern HANDLE g_hThread;

// What the link reaches outside the program besides discovery's SetupAPI
// and HID.DLL calls. Real by default; tests fail the thread start and
// record how each collection is opened (Wine checks no sharing on devices).
struct HidCalls {
  // CreateThread with default security, stack and flags.
  HANDLE (*createThread)(LPTHREAD_START_ROUTINE routine, void* argument);
  decltype(&CreateFileW) createFile = CreateFileW;

  HidCalls();
};

class CHidDevice {
 public:
  explicit CHidDevice(HidCalls calls = HidCalls());
  // Stops the reader (stop request, cancel of its pending read, join), then
  // closes the handles and frees the buffer.
  ~CHidDevice();
  CHidDevice(const CHidDevice&) = delete;
  CHidDevice& operator=(const CHidDevice&) = delete;

  // Closes both handles, then opens every present HID interface and keeps the
  // keyboard's vendor-defined collection (m_handleDev) and consumer control
  // on interface 1 (m_handleInput). 1 when m_handleDev was found.
  int bOpenHidDevice();

  // The first opening: discovery, the reader thread (started whatever
  // discovery found) and the registration of window for HID device-interface
  // notifications into notify. 1 when both the registration and the
  // vendor-defined collection were had.
  int bHidDeviceNotify(HWND window, CDevNotify* notify);

  // HidD_SetFeature through m_handleDev; 1 on success.
  int SetFeature(void* buffer, ULONG length);

  // Which collections the link holds on a device still present: a handle's
  // query fails once its device is gone.
  struct HeldCollections {
    bool dev = false;
    bool input = false;
  };
  HeldCollections CheckHeldCollections();
  // Closes both handles, as discovery does before it replaces them, when a
  // held one's device is gone; true when it did.
  bool bCloseIfGone();

  // Starts ServiceThread into g_hThread, falling back to bHidCallBackThread.
  void StartServiceThread();
  // Retries the thread start every 500 ms until it succeeds; the result is
  // that of the first attempt (0, or its error code).
  DWORD bHidCallBackThread();

  static DWORD WINAPI ServiceThread(void* device);
  // The reader's loop, until RequestStop: a pass, then 10 ms after a report;
  // without a handle it waits for one; after a failed read it waits for
  // another handle, trying again 10 ms later, then twice as late each time,
  // at most a second apart.
  void RunReader(IKeyReportSink& sink);
  // Ends RunReader promptly, also while a read is pending.
  void RequestStop();

  HANDLE InputHandle();
  HANDLE DevHandle();

  // The link's settings, given by its owner: where events go, whose keyboard.
  HWND m_hNotifyWnd = nullptr;
  uint32_t m_productId = kKeyboardProductId;
  uint32_t m_vendorId = kKeyboardVendorId;

 private:
  static int HandleForLog(HANDLE handle) {
    return static_cast<int>(reinterpret_cast<INT_PTR>(handle));
  }
  enum class PassResult { kReport, kNoHandle, kFailed, kReplaced };
  // One read; readGeneration: that of the handle it read through.
  PassResult ReadPass(IKeyReportSink& sink, uint32_t* readGeneration);
  // One start of ServiceThread into g_hThread, logged when it succeeds.
  HANDLE TryStartReader();
  void ReleaseHandles();  // caller holds m_linkMutex
  HeldCollections HeldLocked();  // caller holds m_linkMutex

  const HidCalls m_calls;
  std::unique_ptr<uint8_t[]> m_readBuffer;
  int32_t m_readLength = kDefaultReadLength;
  CKeyRepeatFilter m_repeatFilter;  // m_lastEvent, m_lastEventTick
  std::mutex m_linkMutex;  // the handle values, and whole discovery runs
  CFileHandle m_handleInput;
  CFileHandle m_handleDev;
  uint32_t m_inputGeneration = 0;  // moves on each time m_handleInput is given up
  CKernelHandle m_inputStored;  // auto-reset: discovery stored an input handle
  CStopSignal m_stop;
  bool m_ownsReaderThread = false;
};
