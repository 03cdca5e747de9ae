#include "tools/vkbd/VirtualKeyboard.h"

#include <dbt.h>

#include <cstdio>
#include <cwctype>
#include <future>

#include "tools/vkbd/VkbdProtocol.h"

namespace {

// kHidInterfaceClass as a device path ends in it.
const wchar_t kHidClassSuffix[] = L"#{4d1e55b2-f16f-11cf-88cb-001111000030}";
constexpr DWORD kPipeBufferSize = 64 * 1024;

std::wstring CollectionPath(const wchar_t* device, const wchar_t* instance) {
  return std::wstring(L"\\\\.\\pipe\\hid#") + device + L"#" + instance + kHidClassSuffix;
}

std::wstring DeviceName(uint16_t vendorId, uint16_t productId, const wchar_t* rest) {
  wchar_t name[64];
  swprintf(name, 64, L"vid_%04x&pid_%04x&%ls", vendorId, productId, rest);
  return name;
}

VirtualCollection Collection(const std::wstring& device, const wchar_t* instance,
                             uint16_t vendorId, uint16_t productId, uint16_t usagePage,
                             uint16_t usage, bool sendsKeys = false) {
  VirtualCollection collection;
  collection.path = CollectionPath(device.c_str(), instance);
  collection.facts = {vendorId, productId, usagePage, usage};
  collection.sendsKeys = sendsKeys;
  return collection;
}

}  // namespace

struct CVirtualKeyboard::Pipe {
  const VirtualCollection* collection = nullptr;  // null: the control pipe
  CFileHandle handle;
  CKernelHandle event;
  OVERLAPPED overlapped = {};
  bool pending = false;  // an operation will complete into overlapped
  bool connected = false;
  bool queried = false;
  uint8_t buffer[2048];
};

std::vector<VirtualCollection> CVirtualKeyboard::KeyboardCollections(uint16_t vendorId,
                                                                     uint16_t productId) {
  return {
      Collection(DeviceName(vendorId, productId, L"mi_00&col01"), L"7&1f2e3d4c&0&0000", vendorId,
                 productId, 0x0001, 0x0006),
      Collection(DeviceName(vendorId, productId, L"mi_00&col02"), L"7&1f2e3d4c&0&0001", vendorId,
                 productId, 0xFF00, 0x0001),
      Collection(DeviceName(vendorId, productId, L"mi_01&col01"), L"7&2a3b4c5d&0&0000", vendorId,
                 productId, 0x000C, 0x0001, true),
  };
}

std::vector<VirtualCollection> CVirtualKeyboard::DecoyCollections() {
  const uint16_t kVid = kKeyboardVendorId, kPid = kKeyboardProductId;
  return {
      Collection(DeviceName(0x046A, 0x0023, L"mi_01&col01"), L"7&5e6f7a8b&0&0000", 0x046A, 0x0023,
                 0x000C, 0x0001),
      Collection(DeviceName(kVid, kPid, L"mi_00&col03"), L"7&1f2e3d4c&0&0002", kVid, kPid, 0xFF00,
                 0x0002),
      Collection(DeviceName(kVid, kPid, L"mi_02&col01"), L"7&3c4d5e6f&0&0000", kVid, kPid, 0x000C,
                 0x0001),
      Collection(L"vid_17ef&pid_6100&MI_01&col02", L"7&2a3b4c5d&0&0001", kVid, kPid, 0x000C, 0x0001),
  };
}

CVirtualKeyboard::CVirtualKeyboard(std::vector<VirtualCollection> collections)
    : m_collections(std::move(collections)), m_wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  m_thread = std::thread([this] { IoThread(); });
  Run([this] { AddListener(nullptr); });
}

CVirtualKeyboard::~CVirtualKeyboard() {
  Run([this] { m_quit = true; });
  m_thread.join();
  for (auto& pipe : m_pipes) ClosePipe(*pipe);
}

void CVirtualKeyboard::Run(std::function<void()> command) {
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.push_back([&] {
      command();
      done.set_value();
    });
  }
  SetEvent(m_wake.Get());
  finished.wait();
}

void CVirtualKeyboard::NotifyWindow(HWND window, bool arrival) {
  const std::wstring pipePrefix = L"\\\\.\\pipe\\";
  for (const VirtualCollection& collection : m_collections) {
    // Device part in upper case, the class GUID as it is.
    std::wstring name = L"\\\\?\\" + collection.path.substr(pipePrefix.size());
    size_t guid = name.rfind(L"#{");
    for (size_t i = 0; i < guid; ++i) name[i] = static_cast<wchar_t>(std::towupper(name[i]));

    size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                  (name.size() + 1) * sizeof(wchar_t);
    std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(storage.data());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    record->dbcc_classguid = kHidInterfaceClass;
    wcscpy(record->dbcc_name, name.c_str());
    SendMessageTimeoutW(window, WM_DEVICECHANGE,
                        arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                        reinterpret_cast<LPARAM>(record), SMTO_ABORTIFHUNG, 5000, nullptr);
  }
  SendMessageTimeoutW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG, 5000,
                      nullptr);
}

void CVirtualKeyboard::Plug() {
  Run([this] {
    if (m_plugged) return;
    m_plugged = true;
    for (const VirtualCollection& collection : m_collections) AddListener(&collection);
  });
}

void CVirtualKeyboard::Unplug() {
  Run([this] {
    if (!m_plugged) return;
    m_plugged = false;
    RemoveCollectionPipes();
  });
}

bool CVirtualKeyboard::IsPlugged() {
  bool plugged = false;
  Run([&] { plugged = m_plugged; });
  return plugged;
}

int CVirtualKeyboard::SendInputReport(const std::vector<uint8_t>& report) {
  int reached = 0;
  Run([&] {
    for (auto& pipe : m_pipes) {
      if (pipe->collection && pipe->collection->sendsKeys && pipe->queried &&
          Write(*pipe, report.data(), static_cast<DWORD>(report.size()))) {
        ++reached;
      }
    }
  });
  return reached;
}

std::vector<std::vector<uint8_t>> CVirtualKeyboard::FeatureReports() {
  std::vector<std::vector<uint8_t>> reports;
  Run([&] {
    TakeInCompletions();
    reports = m_featureReports;
  });
  return reports;
}

void CVirtualKeyboard::RefuseFeatureReports(int count) {
  Run([&] { m_toRefuse = count; });
}

int CVirtualKeyboard::RefusedFeatureReports() {
  int refused = 0;
  Run([&] {
    TakeInCompletions();
    refused = m_refused;
  });
  return refused;
}

std::vector<std::wstring> CVirtualKeyboard::OpenHandles() {
  std::vector<std::wstring> paths;
  Run([&] {
    TakeInCompletions();
    for (auto& pipe : m_pipes) {
      if (pipe->collection && pipe->connected) paths.push_back(pipe->collection->path);
    }
  });
  return paths;
}

void CVirtualKeyboard::TakeInCompletions() {
  for (auto it = m_pipes.begin(); it != m_pipes.end();) {
    auto next = std::next(it);
    if (WaitForSingleObject((*it)->event.Get(), 0) == WAIT_OBJECT_0) OnPipeSignalled(it);
    it = next;
  }
}

void CVirtualKeyboard::IoThread() {
  for (;;) {
    std::vector<HANDLE> waits{m_wake.Get()};
    for (auto& pipe : m_pipes) waits.push_back(pipe->event.Get());
    DWORD signalled = WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(),
                                             FALSE, INFINITE);
    if (signalled == WAIT_OBJECT_0) {
      std::deque<std::function<void()>> commands;
      {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        commands.swap(m_queue);
      }
      for (auto& command : commands) command();
      if (m_quit) return;
      continue;
    }
    size_t index = signalled - WAIT_OBJECT_0 - 1;
    if (index >= m_pipes.size()) continue;
    auto pipe = m_pipes.begin();
    std::advance(pipe, index);
    OnPipeSignalled(pipe);
  }
}

void CVirtualKeyboard::AddListener(const VirtualCollection* collection) {
  auto pipe = std::make_unique<Pipe>();
  pipe->collection = collection;
  const wchar_t* name = collection ? collection->path.c_str() : kVkbdControlPipe;
  pipe->handle.Reset(CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                      PIPE_UNLIMITED_INSTANCES, kPipeBufferSize,
                                      kPipeBufferSize, 0, nullptr));
  pipe->event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!pipe->handle || !pipe->event) return;
  pipe->overlapped.hEvent = pipe->event.Get();
  bool connectedAlready = false;
  if (!ConnectNamedPipe(pipe->handle.Get(), &pipe->overlapped)) {
    DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED) {
      connectedAlready = true;  // a client came between create and connect
    } else if (error != ERROR_IO_PENDING) {
      return;
    }
  }
  pipe->pending = !connectedAlready;
  m_pipes.push_back(std::move(pipe));
  if (connectedAlready) OnConnected(std::prev(m_pipes.end()));
}

void CVirtualKeyboard::OnConnected(PipeIterator it) {
  (*it)->connected = true;
  AddListener((*it)->collection);  // the next client gets a fresh instance
  StartRead(it);
}

void CVirtualKeyboard::StartRead(PipeIterator it) {
  Pipe& pipe = **it;
  // A completion, at once or later, signals the event and the loop takes it.
  if (!ReadFile(pipe.handle.Get(), pipe.buffer, sizeof pipe.buffer, nullptr, &pipe.overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    ClosePipe(pipe);  // the client has gone already
    m_pipes.erase(it);
    return;
  }
  pipe.pending = true;
}

void CVirtualKeyboard::OnPipeSignalled(PipeIterator it) {
  Pipe& pipe = **it;
  DWORD size = 0;
  BOOL ok = GetOverlappedResult(pipe.handle.Get(), &pipe.overlapped, &size, FALSE);
  if (!ok && GetLastError() == ERROR_IO_INCOMPLETE) {
    ResetEvent(pipe.event.Get());  // not done after all: wait for the completion
    return;
  }
  pipe.pending = false;
  if (!pipe.connected) {
    if (ok) {
      OnConnected(it);
    } else {
      const VirtualCollection* collection = pipe.collection;
      ClosePipe(pipe);
      m_pipes.erase(it);
      AddListener(collection);
    }
    return;
  }
  if (!ok) {
    ClosePipe(pipe);  // the client closed its handle
    m_pipes.erase(it);
    return;
  }
  OnMessage(pipe, size);
  StartRead(it);
}

void CVirtualKeyboard::OnMessage(Pipe& pipe, DWORD size) {
  if (size == 0) return;
  if (!pipe.collection) {
    if (pipe.buffer[0] != kVkbdList) return;
    std::wstring list;
    if (m_plugged) {
      for (const VirtualCollection& collection : m_collections) list += collection.path + L"\n";
    }
    Write(pipe, list.c_str(), static_cast<DWORD>(list.size() * sizeof(wchar_t)));
    return;
  }
  if (pipe.buffer[0] == kVkbdQuery) {
    const HidInterfaceFacts& facts = pipe.collection->facts;
    const uint16_t reply[4] = {facts.vendorId, facts.productId, facts.usagePage, facts.usage};
    pipe.queried = Write(pipe, reply, sizeof reply);
  } else if (pipe.buffer[0] == kVkbdSetFeature) {
    const uint8_t taken = m_toRefuse == 0 ? 1 : 0;
    if (taken) {
      m_featureReports.emplace_back(pipe.buffer + 1, pipe.buffer + size);
    } else {
      --m_toRefuse;
      ++m_refused;
    }
    Write(pipe, &taken, 1);
  }
}

bool CVirtualKeyboard::Write(Pipe& pipe, const void* data, DWORD size) {
  CKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.Get();
  DWORD written = 0;
  if (!WriteFile(pipe.handle.Get(), data, size, nullptr, &overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  return GetOverlappedResult(pipe.handle.Get(), &overlapped, &written, TRUE) && written == size;
}

void CVirtualKeyboard::ClosePipe(Pipe& pipe) {
  if (pipe.connected) DisconnectNamedPipe(pipe.handle.Get());
  // A pending operation still writes into the pipe record: closing ends it,
  // and the record may go only once it has completed.
  CancelIoEx(pipe.handle.Get(), &pipe.overlapped);
  pipe.handle.Reset();
  if (pipe.pending) WaitForSingleObject(pipe.event.Get(), INFINITE);
  pipe.pending = false;
}

void CVirtualKeyboard::RemoveCollectionPipes() {
  for (auto it = m_pipes.begin(); it != m_pipes.end();) {
    if ((*it)->collection) {
      ClosePipe(**it);
      it = m_pipes.erase(it);
    } else {
      ++it;
    }
  }
}
