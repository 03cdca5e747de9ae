#include "hid/HidPlatform.h"

#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <memory>

#include "fw/UniqueHandle.h"

namespace {

struct DeviceInfoSetTraits {
  using Type = HDEVINFO;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Type set) { SetupDiDestroyDeviceInfoList(set); }
};

}  // namespace

GUID HidClassGuid() {
  GUID guid;
  HidD_GetHidGuid(&guid);
  return guid;
}

std::vector<std::wstring> EnumerateHidInterfacePaths(const GUID& hidGuid) {
  std::vector<std::wstring> paths;
  CUniqueHandle<DeviceInfoSetTraits> set(SetupDiGetClassDevsW(
      &hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set) return paths;

  SP_DEVICE_INTERFACE_DATA data = {};
  data.cbSize = sizeof data;
  for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &hidGuid, index, &data);
       ++index) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set.Get(), &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    // DWORD elements keep the record aligned for its cbSize field.
    std::unique_ptr<DWORD[]> buffer(new DWORD[(size + sizeof(DWORD) - 1) / sizeof(DWORD)]);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (SetupDiGetDeviceInterfaceDetailW(set.Get(), &data, detail, size, nullptr, nullptr)) {
      paths.emplace_back(detail->DevicePath);
    }
  }
  return paths;
}

CFileHandle OpenHidInterface(const std::wstring& path, decltype(&CreateFileW) createFile) {
  return CFileHandle(createFile(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr));
}

bool bQueryHidCollection(HANDLE device, HidInterfaceFacts* facts) {
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (!HidD_GetPreparsedData(device, &preparsed)) return false;
  HIDP_CAPS caps = {};
  NTSTATUS status = HidP_GetCaps(preparsed, &caps);
  HidD_FreePreparsedData(preparsed);
  if (status != HIDP_STATUS_SUCCESS) return false;

  HIDD_ATTRIBUTES attributes = {};
  attributes.Size = sizeof attributes;
  if (!HidD_GetAttributes(device, &attributes)) return false;

  facts->vendorId = attributes.VendorID;
  facts->productId = attributes.ProductID;
  facts->usagePage = caps.UsagePage;
  facts->usage = caps.Usage;
  return true;
}

bool bHidHandleAnswers(HANDLE device) {
  HIDD_ATTRIBUTES attributes = {};
  attributes.Size = sizeof attributes;
  return HidD_GetAttributes(device, &attributes) != FALSE;
}

bool bHidSetFeature(HANDLE device, void* report, ULONG length) {
  return HidD_SetFeature(device, report, length) != FALSE;
}
