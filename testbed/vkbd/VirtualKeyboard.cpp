#include "testbed/vkbd/VirtualKeyboard.h"

#include <initguid.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "fw/SystemInfo.h"
#include "hid/HidPlatform.h"
#include "testbed/vhid/VhidControl.h"
#include "testbed/vhid/VhidKeyboard.h"

namespace {

constexpr DWORD kWaitMs = 20000;

std::string LastError(const char* call) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed with error %lu", call, GetLastError());
  return text;
}

// The drivers' own installer beside the program, waited for.
bool bInstallBus(std::string& error) {
  std::wstring folder;
  if (!GetModuleDirectory(&folder)) {
    error = "the folder of this program cannot be had";
    return false;
  }
  std::wstring installer = folder + L"orvane_vhid_install.exe";
  std::wstring commandLine = L"\"" + installer + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(installer.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    error = LastError("starting orvane_vhid_install.exe (the driver files go beside this program)");
    return false;
  }
  CKernelHandle thread(process.hThread), child(process.hProcess);
  DWORD code = 1;
  if (WaitForSingleObject(child.Get(), kWaitMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(child.Get(), &code) ||
      code != 0) {
    error = "orvane_vhid_install.exe failed (exit code " + std::to_string(code) + ")";
    return false;
  }
  return true;
}

std::wstring BusPath() {
  std::vector<std::wstring> paths = EnumerateHidInterfacePaths(GUID_ORVANE_VHID_CONTROL);
  return paths.empty() ? std::wstring() : paths.front();
}

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return towlower(c); });
  return text;
}

}  // namespace

CVirtualKeyboard::CVirtualKeyboard(uint32_t collections, uint16_t vendorId, uint16_t productId)
    : m_collections(collections), m_vendorId(vendorId), m_productId(productId) {
  // One installer at a time: tests and tools may start together in a new prefix.
  CKernelHandle installing(CreateMutexW(nullptr, FALSE, L"Orvane virtual keyboard install"));
  WaitForSingleObject(installing.Get(), INFINITE);
  std::wstring path = BusPath();
  if (path.empty() && bInstallBus(m_error)) {
    for (DWORD waited = 0; (path = BusPath()).empty() && waited < kWaitMs; waited += 50) Sleep(50);
    if (path.empty()) m_error = "the bus driver was installed but did not start";
  }
  ReleaseMutex(installing.Get());
  if (path.empty()) return;
  m_bus.Reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr));
  if (!m_bus) {
    m_error = LastError("opening the bus");
    return;
  }
  Control(IOCTL_VHID_RESET, nullptr, 0, nullptr, 0);
  WaitListed(0);
}

CVirtualKeyboard::~CVirtualKeyboard() {
  if (m_bus) Unplug();
}

std::vector<VirtualCollection> CVirtualKeyboard::Collections() const {
  std::vector<VirtualCollection> collections;
  for (int i = 0; i < kVhidCollectionKinds; ++i) {
    if (!(m_collections & VHID_BIT(i))) continue;
    const VhidCollection& c = kVhidCollections[i];
    VirtualCollection collection;
    collection.kind = i;
    collection.facts.vendorId = c.vendorId ? c.vendorId : m_vendorId;
    collection.facts.productId = c.vendorId ? c.productId : m_productId;
    collection.facts.usagePage = c.usagePage;
    collection.facts.usage = c.usage;
    collection.sendsKeys = c.sendsKeys != 0;
    // The class driver names each HID device after the bus device under it.
    wchar_t path[128];
    std::swprintf(path, 128,
                  L"\\\\?\\hid#vid_%04x&pid_%04x&mi_%02x#0#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  collection.facts.vendorId, collection.facts.productId, c.usbInterface);
    collection.path = path;
    collections.push_back(collection);
  }
  return collections;
}

bool CVirtualKeyboard::Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                               DWORD* returned) {
  DWORD bytes = 0;
  bool done = m_bus && DeviceIoControl(m_bus.Get(), code, const_cast<void*>(in), inSize, out, outSize,
                                       &bytes, nullptr);
  if (returned) *returned = bytes;
  return done;
}

// Until the system lists exactly those of this keyboard's collections.
bool CVirtualKeyboard::WaitListed(uint32_t collections) {
  std::vector<VirtualCollection> all = Collections();
  for (DWORD waited = 0;; waited += 20) {
    std::vector<std::wstring> present = EnumerateHidInterfacePaths(HidClassGuid());
    for (auto& path : present) path = Lower(path);
    bool settled = std::all_of(all.begin(), all.end(), [&](const VirtualCollection& c) {
      bool listed = std::find(present.begin(), present.end(), c.path) != present.end();
      return listed == ((collections & VHID_BIT(c.kind)) != 0);
    });
    if (settled) return true;
    if (waited >= kWaitMs) return false;
    Sleep(20);
  }
}

bool CVirtualKeyboard::Plug(uint32_t collections, Order order, DWORD pauseMs) {
  if (!collections) collections = m_collections;
  const uint32_t vendor = collections & VHID_BIT(kVhidVendor);
  const uint32_t first = order == Order::kVendorFirst ? vendor : collections & ~vendor;
  for (uint32_t step : {first, collections & ~first}) {
    VHID_STATUS status = {};
    VHID_PLUG plug = {m_vendorId, m_productId, step};
    if (!step) continue;
    if (step != first && first) Sleep(pauseMs);
    if (!(Control(IOCTL_VHID_PLUG, &plug, sizeof plug, nullptr, 0) &&
          Control(IOCTL_VHID_STATUS, nullptr, 0, &status, sizeof status) &&
          WaitListed(status.Collections))) {
      return false;
    }
  }
  return true;
}

bool CVirtualKeyboard::Unplug() { return Control(IOCTL_VHID_UNPLUG, nullptr, 0, nullptr, 0) && WaitListed(0); }

bool CVirtualKeyboard::IsPlugged() {
  VHID_STATUS status = {};
  return Control(IOCTL_VHID_STATUS, nullptr, 0, &status, sizeof status) && status.Plugged;
}

int CVirtualKeyboard::SendInputReport(const std::vector<uint8_t>& report) {
  ULONG reached = 0;
  if (!Control(IOCTL_VHID_SEND_INPUT, report.data(), static_cast<DWORD>(report.size()), &reached,
               sizeof reached)) {
    return -1;
  }
  return static_cast<int>(reached);
}

std::vector<std::vector<uint8_t>> CVirtualKeyboard::FeatureReports() {
  std::vector<uint8_t> buffer(sizeof(VHID_FEATURES) + 4096 * sizeof(VHID_FEATURE));
  std::vector<std::vector<uint8_t>> reports;
  DWORD returned = 0;
  if (!Control(IOCTL_VHID_FEATURES, nullptr, 0, buffer.data(), static_cast<DWORD>(buffer.size()),
               &returned) ||
      returned < sizeof(VHID_FEATURES)) {
    return reports;
  }
  const auto* header = reinterpret_cast<const VHID_FEATURES*>(buffer.data());
  const auto* records = reinterpret_cast<const VHID_FEATURE*>(header + 1);
  for (ULONG i = 0; i < header->Returned; ++i) {
    reports.emplace_back(records[i].Bytes, records[i].Bytes + std::min<ULONG>(records[i].Length, VHID_MAX_FEATURE));
  }
  return reports;
}

int CVirtualKeyboard::TakenFeatureReports() {
  VHID_FEATURES header = {};  // room for no record: only the count comes back
  return Control(IOCTL_VHID_FEATURES, nullptr, 0, &header, sizeof header) ? static_cast<int>(header.Total) : 0;
}

void CVirtualKeyboard::RefuseFeatureReports(int count) {
  ULONG refuse = static_cast<ULONG>(count);
  Control(IOCTL_VHID_REFUSE, &refuse, sizeof refuse, nullptr, 0);
}

int CVirtualKeyboard::RefusedFeatureReports() {
  VHID_STATUS status = {};
  return Control(IOCTL_VHID_STATUS, nullptr, 0, &status, sizeof status) ? static_cast<int>(status.Refused) : 0;
}

std::vector<std::wstring> CVirtualKeyboard::OpenHandles() {
  std::vector<std::wstring> paths;
  VHID_STATUS status = {};
  if (!Control(IOCTL_VHID_STATUS, nullptr, 0, &status, sizeof status)) return paths;
  std::vector<VirtualCollection> all = Collections();
  for (const VirtualCollection& c : all) paths.insert(paths.end(), status.OpenHandles[c.kind], c.path);
  return paths;
}

std::vector<std::wstring> CVirtualKeyboard::OpenHandlesOnceSettled(
    std::vector<std::wstring> expected) {
  std::sort(expected.begin(), expected.end());
  std::vector<std::wstring> open;
  for (int i = 0; i < 200; ++i, Sleep(10)) {
    open = OpenHandles();
    std::sort(open.begin(), open.end());
    if (open == expected) break;
  }
  return open;
}
