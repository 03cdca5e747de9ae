#include "actions/MicMute.h"

#include <audioclient.h>
#include <endpointvolume.h>
#include <io.h>
#include <mmdeviceapi.h>

#include "fw/UniqueHandle.h"

namespace {

// Everything one pass over the device holds. Members go in reverse order, so
// the audio client is released first and the enumerator last.
struct CaptureEndpoint {
  CComPtr<IMMDeviceEnumerator> enumerator;
  CComPtr<IMMDevice> device;
  CComPtr<IAudioEndpointVolume> volume;
  CComPtr<IAudioClient> client;  // asked for, never used: it proves the device is usable
  BOOL muted = FALSE;
};

// Steps up to GetMute; false at the first failure.
bool OpenAndReadMute(const ComCreateFn& create, CaptureEndpoint* endpoint) {
  CoInitialize(nullptr);  // S_FALSE after the first time; not examined
  if (FAILED(create(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                    __uuidof(IMMDeviceEnumerator), endpoint->enumerator.PutVoid()))) {
    return false;
  }
  if (FAILED(endpoint->enumerator->GetDefaultAudioEndpoint(eCapture, eMultimedia,
                                                           endpoint->device.Put()))) {
    return false;
  }
  if (FAILED(endpoint->device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                        endpoint->volume.PutVoid()))) {
    return false;
  }
  if (FAILED(endpoint->device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                        endpoint->client.PutVoid()))) {
    return false;
  }
  return SUCCEEDED(endpoint->volume->GetMute(&endpoint->muted));
}

const wchar_t* const kCompanionKeys[] = {
    L"SYSTEM\\CurrentControlSet\\services\\GDDLK\\",
    L"SOFTWARE\\Varnel\\MessageClient\\OnScreenDisplay\\",
};

const char* const kCompanionFiles[] = {
    "C:\\ProgramFiles\\Varnel\\Varnel HushSync\\HushSync.exe",
    "C:\\ProgramFiles\\Varnel\\HOTKEY\\micquell.exe",
};

}  // namespace

void ToggleMicMute(const ComCreateFn& create) {
  CaptureEndpoint endpoint;
  if (!OpenAndReadMute(create, &endpoint)) return;
  endpoint.volume->SetMute(1 - endpoint.muted, nullptr);
}

int32_t ReadMicMute(const ComCreateFn& create) {
  CaptureEndpoint endpoint;
  if (!OpenAndReadMute(create, &endpoint)) return -1;
  return endpoint.muted;
}

PresenceCalls::PresenceCalls() : access(_access) {}

bool CheckMicCompanion(const PresenceCalls& calls) {
  for (const wchar_t* key : kCompanionKeys) {
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      HKEY opened = nullptr;
      if (calls.openKey(hive, key, 0, KEY_READ, &opened) == ERROR_SUCCESS) {
        CRegKey closeAtOnce(opened);
        return true;
      }
    }
  }
  // A directory of the name counts as well.
  for (const char* file : kCompanionFiles) {
    if (calls.access(file, 0) != -1) return true;
  }
  return false;
}
