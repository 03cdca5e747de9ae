#include "hid/HidDevice.h"

#include <dbt.h>

#include <string>

#include "hid/HidInterfaceRules.h"
#include "hid/HidPlatform.h"
#include "log/Log.h"

HANDLE g_hThread = nullptr;

namespace {

HANDLE CreateThreadDefault(LPTHREAD_START_ROUTINE routine, void* argument) {
  return CreateThread(nullptr, 0, routine, argument, 0, nullptr);
}

}  // namespace

HidCalls::HidCalls() : createThread(CreateThreadDefault) {}

CHidDevice::CHidDevice(HidCalls calls)
    : m_calls(calls),
      m_readBuffer(new uint8_t[kReadBufferSize]()),
      m_inputStored(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

CHidDevice::~CHidDevice() {
  RequestStop();
  if (m_ownsReaderThread && g_hThread) {
    WaitForSingleObject(g_hThread, INFINITE);
    CloseHandle(g_hThread);
    g_hThread = nullptr;
  }
}

HANDLE CHidDevice::InputHandle() {
  std::lock_guard<std::mutex> lock(m_linkMutex);
  return m_handleInput.Get();
}

HANDLE CHidDevice::DevHandle() {
  std::lock_guard<std::mutex> lock(m_linkMutex);
  return m_handleDev.Get();
}

void CHidDevice::ReleaseHandles() {
  // A read pending on the input handle must end before the value can be
  // reused; cancelling makes that so on every platform, not only on close.
  if (m_handleInput) CancelIoEx(m_handleInput.Get(), nullptr);
  m_handleDev.Reset();
  m_handleInput.Reset();
  ++m_inputGeneration;
}

int CHidDevice::bOpenHidDevice() {
  std::lock_guard<std::mutex> lock(m_linkMutex);
  ReleaseHandles();

  int found = 0;
  for (const std::wstring& path : EnumerateHidInterfacePaths(HidClassGuid())) {
    CFileHandle device = OpenHidInterface(path, m_calls.createFile);
    if (!device) continue;
    // An interface that does not answer its queries is not the keyboard's.
    HidInterfaceFacts facts;
    if (!bQueryHidCollection(device.Get(), &facts)) continue;

    std::u16string path16(path.begin(), path.end());
    switch (ClassifyHidInterface(facts, path16, m_vendorId, m_productId).role) {
      case HidRole::kFeatureCommands:
        m_handleDev = std::move(device);  // a later match replaces an earlier one
        LogWrite("Find_handleDev");
        found = 1;
        break;
      case HidRole::kKeyReports:
        m_handleInput = std::move(device);
        if (m_inputStored) SetEvent(m_inputStored.Get());
        LogWrite("Find_handleInput");
        break;
      case HidRole::kNone:
        break;  // closed as it goes out of scope
    }
  }
  return found;
}

int CHidDevice::bHidDeviceNotify(HWND window, CDevNotify* notify) {
  LogWrite("bHidDeviceNotify_in");
  m_hNotifyWnd = window;  // before the reader exists: it never changes after
  int found = bOpenHidDevice();
  LogWrite("m_handleDev:%d,m_handleInput:%d", HandleForLog(DevHandle()),
           HandleForLog(InputHandle()));
  StartServiceThread();

  DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
  static_assert(sizeof filter == 32, "the filter record of a 32-bit process");
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = HidClassGuid();
  notify->Reset(RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
  return (*notify && found == 1) ? 1 : 0;
}

CHidDevice::HeldCollections CHidDevice::HeldLocked() {
  HeldCollections held;
  held.dev = m_handleDev && bHidHandleAnswers(m_handleDev.Get());
  held.input = m_handleInput && bHidHandleAnswers(m_handleInput.Get());
  return held;
}

CHidDevice::HeldCollections CHidDevice::CheckHeldCollections() {
  std::lock_guard<std::mutex> lock(m_linkMutex);
  return HeldLocked();
}

bool CHidDevice::bCloseIfGone() {
  std::lock_guard<std::mutex> lock(m_linkMutex);
  HeldCollections held = HeldLocked();
  bool gone = (m_handleDev && !held.dev) || (m_handleInput && !held.input);
  if (gone) ReleaseHandles();
  return gone;
}

int CHidDevice::SetFeature(void* buffer, ULONG length) {
  std::lock_guard<std::mutex> lock(m_linkMutex);
  if (!m_handleDev) return 0;
  return bHidSetFeature(m_handleDev.Get(), buffer, length) ? 1 : 0;
}
