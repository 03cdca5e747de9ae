#include "testbed/sim/FakeCoreAudio.h"

#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include <string>

namespace {

std::string Pointer(const void* p) { return p ? "set" : "null"; }

class CFakeEndpointVolume : public CFakeComObject<IAudioEndpointVolume> {
 public:
  explicit CFakeEndpointVolume(CFakeCaptureDevice* world)
      : CFakeComObject(&world->m_journal, "endpoint volume"), m_world(world) {}

  STDMETHODIMP GetMute(BOOL* muted) override {
    m_journal->calls.push_back("GetMute");
    HRESULT hr = m_world->Enter(CFakeCaptureDevice::Step::kGetMute);
    if (SUCCEEDED(hr)) *muted = m_world->m_muted;
    return hr;
  }
  STDMETHODIMP SetMute(BOOL muted, LPCGUID context) override {
    m_journal->calls.push_back("SetMute " + std::to_string(muted) + " " + Pointer(context));
    HRESULT hr = m_world->Enter(CFakeCaptureDevice::Step::kSetMute);
    if (SUCCEEDED(hr)) m_world->m_muted = muted;
    return hr;
  }

  STDMETHODIMP RegisterControlChangeNotify(IAudioEndpointVolumeCallback*) override { return E_NOTIMPL; }
  STDMETHODIMP UnregisterControlChangeNotify(IAudioEndpointVolumeCallback*) override { return E_NOTIMPL; }
  STDMETHODIMP GetChannelCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP SetMasterVolumeLevel(float, LPCGUID) override { return E_NOTIMPL; }
  STDMETHODIMP SetMasterVolumeLevelScalar(float, LPCGUID) override { return E_NOTIMPL; }
  STDMETHODIMP GetMasterVolumeLevel(float*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMasterVolumeLevelScalar(float*) override { return E_NOTIMPL; }
  STDMETHODIMP SetChannelVolumeLevel(UINT, float, LPCGUID) override { return E_NOTIMPL; }
  STDMETHODIMP SetChannelVolumeLevelScalar(UINT, float, LPCGUID) override { return E_NOTIMPL; }
  STDMETHODIMP GetChannelVolumeLevel(UINT, float*) override { return E_NOTIMPL; }
  STDMETHODIMP GetChannelVolumeLevelScalar(UINT, float*) override { return E_NOTIMPL; }
  STDMETHODIMP GetVolumeStepInfo(UINT*, UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP VolumeStepUp(LPCGUID) override { return E_NOTIMPL; }
  STDMETHODIMP VolumeStepDown(LPCGUID) override { return E_NOTIMPL; }
  STDMETHODIMP QueryHardwareSupport(DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP GetVolumeRange(float*, float*, float*) override { return E_NOTIMPL; }

 private:
  CFakeCaptureDevice* const m_world;
};

// Never used by the toggle; every method says so.
class CFakeAudioClient : public CFakeComObject<IAudioClient> {
 public:
  explicit CFakeAudioClient(CFakeCaptureDevice* world)
      : CFakeComObject(&world->m_journal, "audio client") {}

  STDMETHODIMP Initialize(AUDCLNT_SHAREMODE, DWORD, REFERENCE_TIME, REFERENCE_TIME,
                          const WAVEFORMATEX*, LPCGUID) override { return Unused(); }
  STDMETHODIMP GetBufferSize(UINT32*) override { return Unused(); }
  STDMETHODIMP GetStreamLatency(REFERENCE_TIME*) override { return Unused(); }
  STDMETHODIMP GetCurrentPadding(UINT32*) override { return Unused(); }
  STDMETHODIMP IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX*,
                                 WAVEFORMATEX**) override { return Unused(); }
  STDMETHODIMP GetMixFormat(WAVEFORMATEX**) override { return Unused(); }
  STDMETHODIMP GetDevicePeriod(REFERENCE_TIME*, REFERENCE_TIME*) override { return Unused(); }
  STDMETHODIMP Start() override { return Unused(); }
  STDMETHODIMP Stop() override { return Unused(); }
  STDMETHODIMP Reset() override { return Unused(); }
  STDMETHODIMP SetEventHandle(HANDLE) override { return Unused(); }
  STDMETHODIMP GetService(REFIID, void**) override { return Unused(); }

 private:
  HRESULT Unused() {
    m_journal->calls.push_back("audio client used");
    return E_NOTIMPL;
  }
};

class CFakeDevice : public CFakeComObject<IMMDevice> {
 public:
  explicit CFakeDevice(CFakeCaptureDevice* world)
      : CFakeComObject(&world->m_journal, "device"), m_world(world) {}

  STDMETHODIMP Activate(REFIID iid, DWORD context, PROPVARIANT* parameters,
                        void** object) override {
    m_journal->calls.push_back("Activate " + GuidText(iid) + " " + std::to_string(context) + " " +
                               Pointer(parameters));
    *object = nullptr;
    if (iid == __uuidof(IAudioEndpointVolume)) {
      HRESULT hr = m_world->Enter(CFakeCaptureDevice::Step::kActivateVolume);
      if (SUCCEEDED(hr)) *object = static_cast<IAudioEndpointVolume*>(new CFakeEndpointVolume(m_world));
      return hr;
    }
    if (iid == __uuidof(IAudioClient)) {
      HRESULT hr = m_world->Enter(CFakeCaptureDevice::Step::kActivateClient);
      if (SUCCEEDED(hr)) *object = static_cast<IAudioClient*>(new CFakeAudioClient(m_world));
      return hr;
    }
    return E_NOINTERFACE;
  }
  STDMETHODIMP OpenPropertyStore(DWORD, IPropertyStore**) override { return E_NOTIMPL; }
  STDMETHODIMP GetId(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP GetState(DWORD* state) override {
    *state = DEVICE_STATE_ACTIVE;
    return S_OK;
  }

 private:
  CFakeCaptureDevice* const m_world;
};

class CFakeEnumerator : public CFakeComObject<IMMDeviceEnumerator> {
 public:
  explicit CFakeEnumerator(CFakeCaptureDevice* world)
      : CFakeComObject(&world->m_journal, "enumerator"), m_world(world) {}

  STDMETHODIMP GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** device) override {
    m_journal->calls.push_back("GetDefaultAudioEndpoint " + std::to_string(flow) + " " +
                               std::to_string(role));
    *device = nullptr;
    // Only the capture side exists here.
    HRESULT hr = flow == eCapture ? m_world->Enter(CFakeCaptureDevice::Step::kGetDefaultEndpoint)
                                  : CFakeCaptureDevice::kNoDevice;
    if (SUCCEEDED(hr)) *device = new CFakeDevice(m_world);
    return hr;
  }
  STDMETHODIMP EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP GetDevice(LPCWSTR, IMMDevice**) override { return E_NOTIMPL; }
  STDMETHODIMP RegisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
  STDMETHODIMP UnregisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }

 private:
  CFakeCaptureDevice* const m_world;
};

}  // namespace

ComCreateFn CFakeCaptureDevice::Factory() {
  return [this](REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
    m_journal.calls.push_back("CoCreateInstance " + GuidText(clsid) + " " + Pointer(outer) + " " +
                              std::to_string(context) + " " + GuidText(iid));
    *object = nullptr;
    if (clsid != __uuidof(MMDeviceEnumerator)) return REGDB_E_CLASSNOTREG;
    if (iid != __uuidof(IMMDeviceEnumerator)) return E_NOINTERFACE;
    HRESULT hr = Enter(Step::kCreateEnumerator);
    if (SUCCEEDED(hr)) *object = static_cast<IMMDeviceEnumerator*>(new CFakeEnumerator(this));
    return hr;
  };
}
