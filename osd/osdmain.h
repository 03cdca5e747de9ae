// Cosdmain: the OSD controller. Held by value in CMyWnd, so its hidden 1x1
// window exists before the main window does; that window owns the OSD bar
// and gets the controller's timer 1. Requests come as direct calls from
// CMyWnd::ShowOsd, never as window messages. User-interface thread only.
#pragma once

#include <windows.h>

#include "fw/UniqueHandle.h"
#include "fw/Wnd.h"
#include "osd/OsdRequest.h"
#include "osd/WTOSD.h"

class Cosdmain : public CWnd {
 public:
  Cosdmain();

  const MessageMap* GetMessageMap() const override;

  // Makes the process's one CWTOSD on the first request. The OSD mutex marks
  // that it exists; when another process of the session holds that name
  // first, no object is made and the requests are dropped.
  void EnsureOsdWindow();

  // Takes one request record (cbData must be its size); always TRUE.
  BOOL OnOsdRequest(COPYDATASTRUCT data);

  // Shows or hides according to g_osdCurrent.
  void ApplyOsdRequest();

 protected:
  void OnTimer(UINT_PTR timerId);
};

// The last request received.
extern OsdRequest g_osdCurrent;
extern HINSTANCE g_osdInstance;

extern const wchar_t kOsdMutexName[];
const UINT_PTR kOsdTimerId = 1;
