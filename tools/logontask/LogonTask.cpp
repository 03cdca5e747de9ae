#include "tools/logontask/LogonTask.h"

#include <taskschd.h>

#include "fw/ComPtr.h"

const wchar_t kLogonTaskFolder[] = L"Varnel";
const wchar_t kLogonTaskName[] = L"Orvane_Keyboard_Hid";

namespace {

std::wstring XmlEscaped(const std::wstring& text) {
  std::wstring escaped;
  for (wchar_t c : text) {
    switch (c) {
      case L'&': escaped += L"&amp;"; break;
      case L'<': escaped += L"&lt;"; break;
      case L'>': escaped += L"&gt;"; break;
      case L'"': escaped += L"&quot;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

HRESULT ConnectedService(CComPtr<ITaskService>* service) {
  HRESULT hr = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ITaskService, service->PutVoid());
  if (FAILED(hr)) return hr;
  VARIANT none;
  VariantInit(&none);
  // A scheduler that is still starting (early after boot, or started on
  // demand by this first call) is waited for, 10 s at most.
  for (int attempt = 0; attempt < 20; ++attempt) {
    hr = (*service)->Connect(none, none, none, none);
    if (hr != SCHED_E_SERVICE_NOT_RUNNING) break;
    Sleep(500);
  }
  return hr;
}

HRESULT Folder(ITaskService* service, const std::wstring& path, CComPtr<ITaskFolder>* folder) {
  CBstr name(SysAllocString(path.c_str()));
  return service->GetFolder(name.Get(), folder->Put());
}

// Our task folder, from a connected service.
HRESULT OurFolder(CComPtr<ITaskService>* service, CComPtr<ITaskFolder>* folder) {
  HRESULT hr = ConnectedService(service);
  if (FAILED(hr)) return hr;
  return Folder(service->Get(), std::wstring(L"\\") + kLogonTaskFolder, folder);
}

bool IsNotFound(HRESULT hr) {
  return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
         hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// Our registered task; S_FALSE when it or its folder is not there.
HRESULT OurTask(CComPtr<IRegisteredTask>* task) {
  CComPtr<ITaskService> service;
  CComPtr<ITaskFolder> folder;
  HRESULT hr = OurFolder(&service, &folder);
  if (SUCCEEDED(hr)) {
    CBstr name(SysAllocString(kLogonTaskName));
    hr = folder->GetTask(name.Get(), task->Put());
  }
  return IsNotFound(hr) ? S_FALSE : hr;
}

}  // namespace

std::wstring LogonTaskXml(const std::wstring& installFolder) {
  std::wstring folder = XmlEscaped(installFolder);
  // Administrators get it elevated without a prompt (a standard user's
  // start is refused: the utility asks for administrator rights); it runs
  // as long as the session does, on battery too. Every user who logs on
  // gets an instance of their own, in parallel: the policy holds for the
  // task as a whole, and the utility keeps to one instance per session.
  return LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo>
    <Author>Varnel</Author>
    <Description>Starts the Orvane keyboard utility at logon.</Description>
  </RegistrationInfo>
  <Triggers>
    <LogonTrigger>
      <Enabled>true</Enabled>
      <Delay>PT5S</Delay>
    </LogonTrigger>
  </Triggers>
  <Principals>
    <Principal id="Users">
      <GroupId>S-1-5-32-545</GroupId>
      <RunLevel>HighestAvailable</RunLevel>
    </Principal>
  </Principals>
  <Settings>
    <MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>
    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>
    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>
    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>
    <Enabled>true</Enabled>
  </Settings>
  <Actions Context="Users">
    <Exec>
      <Command>)" + folder + LR"(\Orvane_Keyboard_Hid.exe</Command>
      <WorkingDirectory>)" + folder + LR"(</WorkingDirectory>
    </Exec>
  </Actions>
</Task>
)";
}

HRESULT RegisterLogonTask(const std::wstring& installFolder) {
  CComPtr<ITaskService> service;
  HRESULT hr = ConnectedService(&service);
  if (FAILED(hr)) return hr;
  CComPtr<ITaskFolder> root, folder;
  if (FAILED(hr = Folder(service.Get(), L"\\", &root))) return hr;
  CBstr folderName(SysAllocString(kLogonTaskFolder));
  VARIANT none;
  VariantInit(&none);
  hr = root->CreateFolder(folderName.Get(), none, folder.Put());
  if (hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)) {
    hr = Folder(service.Get(), std::wstring(L"\\") + kLogonTaskFolder, &folder);
  }
  if (FAILED(hr)) return hr;
  CBstr name(SysAllocString(kLogonTaskName));
  CBstr xml(SysAllocString(LogonTaskXml(installFolder).c_str()));
  CComPtr<IRegisteredTask> task;
  return folder->RegisterTask(name.Get(), xml.Get(), TASK_CREATE_OR_UPDATE, none, none,
                              TASK_LOGON_GROUP, none, task.Put());
}

HRESULT RemoveLogonTask() {
  CComPtr<ITaskService> service;
  CComPtr<ITaskFolder> folder;
  HRESULT hr = OurFolder(&service, &folder);
  if (IsNotFound(hr)) return S_OK;
  if (FAILED(hr)) return hr;
  CBstr name(SysAllocString(kLogonTaskName));
  hr = folder->DeleteTask(name.Get(), 0);
  if (FAILED(hr) && !IsNotFound(hr)) return hr;
  // Our folder goes with our task, unless someone put more in it.
  CComPtr<IRegisteredTaskCollection> rest;
  LONG count = 0;
  if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, rest.Put())) && rest) rest->get_Count(&count);
  if (count > 0) return S_OK;
  CComPtr<ITaskFolder> root;
  if (FAILED(hr = Folder(service.Get(), L"\\", &root))) return hr;
  CBstr folderName(SysAllocString(kLogonTaskFolder));
  return root->DeleteFolder(folderName.Get(), 0);
}

HRESULT ReadLogonTaskXml(std::wstring* xml) {
  CComPtr<IRegisteredTask> task;
  HRESULT hr = OurTask(&task);
  if (hr == S_FALSE) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  if (FAILED(hr)) return hr;
  BSTR text = nullptr;
  if (FAILED(hr = task->get_Xml(&text))) return hr;
  CBstr owned(text);
  *xml = text ? text : L"";
  return S_OK;
}

HRESULT ReadLogonTaskLastResult(LONG* lastResult) {
  CComPtr<IRegisteredTask> task;
  HRESULT hr = OurTask(&task);
  if (hr != S_OK) return hr;
  return task->get_LastTaskResult(lastResult);
}

HRESULT RunLogonTask(LONG flags, LONG session) {
  CComPtr<IRegisteredTask> task;
  HRESULT hr = OurTask(&task);
  if (hr == S_FALSE) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  if (FAILED(hr)) return hr;
  VARIANT none;
  VariantInit(&none);
  CComPtr<IRunningTask> running;
  return task->RunEx(none, flags, session, nullptr, running.Put());
}
