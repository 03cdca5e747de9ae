// The keyboard's comings and goings: the first opening by the start-up
// worker, arrival and removal notifications, the reopening after a resume,
// and the Fn-lock report sent each time the keyboard is opened.
#include <windows.h>
#include <dbt.h>

#include <cwchar>
#include <iterator>
#include <string>

#include "actions/FnLock.h"
#include "app/MyWnd.h"
#include "hid/DeviceNotification.h"
#include "hid/KeyboardIds.h"
#include "log/Log.h"

DWORD WINAPI CMyWnd::OpenUsbThread(LPVOID param) {
  CMyWnd* wnd = static_cast<CMyWnd*>(param);
  // Pausing on the stop signal rather than sleeping lets the object go at
  // any time; only the full pause leads on to the keyboard.
  if (wnd->m_startupStop.Pause(kKeyboardSettleMs)) return 0;

  wnd->m_usbOpen = wnd->m_hidDevice.bHidDeviceNotify(wnd->m_hWnd, &wnd->m_hDevNotify);
  LogWrite("OnCreate Open Usb:%d", wnd->m_usbOpen.load());
  if (wnd->m_usbOpen == 0) return 0;
  wnd->SendFnLockState(wnd->m_fnLock);
  return 0;
}

namespace {

// Pauses before each further try of a refused Fn-lock report.
const UINT kFnLockRetryMs[] = {500, 1000, 2000};

}  // namespace

void CMyWnd::SendFnLockState(int32_t state) {
  // A fresh discovery first: the report always goes through a newly opened
  // vendor-defined collection.
  if (!m_hidDevice.bOpenHidDevice()) return;
  // Once per keyboard: a collection of it that arrives later reopens the
  // link, but the keyboard has the state already.
  if (m_fnLockSent.exchange(true)) return;
  uint32_t opening = ++m_fnLockOpenings;
  // The tries are timed on the window thread, whichever thread sends first.
  if (!SendFnLockReport(state)) {
    // Only over an older number: openings refused on both threads at once
    // must leave the newer one, which alone is retried.
    uint32_t waiting = m_fnLockRefusedOpening;
    while (waiting < opening && !m_fnLockRefusedOpening.compare_exchange_weak(waiting, opening)) {
    }
    PostMessageW(m_hWnd, kMsgFnLockRefused, 0, 0);
  }
}

bool CMyWnd::SendFnLockReport(int32_t state) {
  uint8_t report[8] = {0x05, static_cast<uint8_t>(state & 0xFF)};
  return m_hidDevice.SetFeature(report, sizeof report) != 0;
}

LRESULT CMyWnd::OnFnLockRefused(WPARAM, LPARAM) {
  // Only a refusal of ours counts, and only while no newer opening came.
  uint32_t opening = m_fnLockRefusedOpening.exchange(0);
  if (opening == 0 || opening != m_fnLockOpenings) return 0;
  m_fnLockRetryOpening = opening;
  m_fnLockRetries = 0;
  ArmFnLockRetry();
  return 0;
}

void CMyWnd::ArmFnLockRetry() {
  if (m_fnLockRetries == static_cast<int>(std::size(kFnLockRetryMs))) {
    LogWrite("SendFnLockState refused, left until the next opening");
    m_fnLockRetryOpening = 0;
    m_fnLockSent = false;  // the keyboard never took it: the next arrival sends it
    return;
  }
  UINT pause = kFnLockRetryMs[m_fnLockRetries];
  LogWrite("SendFnLockState refused, retry %d in %u ms", m_fnLockRetries + 1, pause);
  SetTimer(m_hWnd, kFnLockRetryTimer, pause, nullptr);
}

void CMyWnd::RetryFnLockReport() {
  // A timer of no series of ours, or one a newer opening has taken over.
  if (m_fnLockRetryOpening == 0 || m_fnLockRetryOpening != m_fnLockOpenings) {
    m_fnLockRetryOpening = 0;
    return;
  }
  // The state as it is now: a key may have changed it since.
  if (SendFnLockReport(m_fnLock)) {
    m_fnLockRetryOpening = 0;
    return;
  }
  ++m_fnLockRetries;
  ArmFnLockRetry();
}

int CMyWnd::CheckDeviceVPID(const void* header, uint32_t vendorId, uint32_t productId) {
  std::optional<std::u16string> name = DeviceInterfaceName(header);
  if (!name) return 0;
  int result = bNameHasIds(*name, vendorId, productId) ? 1 : 0;
  std::wstring wide(name->begin(), name->end());
  LogWrite("CheckDeviceVPID DBT_DEVTYP_DEVICEINTERFACE Usb:%S", wide.c_str());
  return result;
}

std::wstring DeviceChangeDebugLine(WPARAM eventType, LPARAM eventData) {
  wchar_t line[64];
  // The event data is a pointer: whole in the 64-bit build too.
#ifdef _WIN64
  swprintf(line, std::size(line), L"OnDeviceChange %d, %llx\n", static_cast<int>(eventType),
           static_cast<unsigned long long>(eventData));
#else
  swprintf(line, std::size(line), L"OnDeviceChange %d, %x\n", static_cast<int>(eventType),
           static_cast<unsigned>(eventData));
#endif
  return line;
}

LRESULT CMyWnd::OnDeviceChange(WPARAM eventType, LPARAM eventData) {
  OutputDebugStringW(DeviceChangeDebugLine(eventType, eventData).c_str());
  LogWrite("OnDeviceChange Open Usb:%d", m_usbOpen.load());

  const void* header = reinterpret_cast<const void*>(eventData);
  if (eventType == DBT_DEVICEARRIVAL) {
    // The flag alone is not trusted: the system brings the collections up
    // in an order and at moments of its own, and a removal may come late or
    // not at all. The keyboard is reopened unless both collections are held
    // on a device still present and that keyboard was sent the state.
    if (CheckDeviceVPID(header, kKeyboardVendorId, kKeyboardProductId) == 1) {
      CHidDevice::HeldCollections held = m_hidDevice.CheckHeldCollections();
      if (!held.dev) m_fnLockSent = false;  // the keyboard it went to is gone
      if (m_usbOpen == 0 || !held.dev || !held.input || !m_fnLockSent) {
        LogWrite("OnDeviceChange bOpenHidDevice Find");
        m_fnLock = ReadFnLock();
        SendFnLockState(m_fnLock);
        m_usbOpen = m_hidDevice.bOpenHidDevice();
      }
    }
  } else if (eventType == DBT_DEVICEREMOVECOMPLETE) {
    if (CheckDeviceVPID(header, kKeyboardVendorId, kKeyboardProductId) == 1) {
      // The collections of a keyboard that is gone are let go, so the
      // system can finish removing it and the reader rests; a late word of
      // a removal leaves the handles of a keyboard present since alone.
      if (m_hidDevice.bCloseIfGone()) m_fnLockSent = false;
      m_usbOpen = 0;
    }
  }
  return TRUE;
}

void CMyWnd::ReopenAfterWakeUp() {
  LogWrite("TIMER_WAKEUP");
  m_usbOpen = m_hidDevice.bOpenHidDevice();
  if (m_usbOpen == 1) {
    m_fnLock = ReadFnLock();
    m_fnLockSent = false;  // the keyboard may have lost it while asleep
    SendFnLockState(m_fnLock);
  }
}
