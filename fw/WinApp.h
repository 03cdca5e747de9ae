// CWinApp: the one application object of the process. Its constructor makes
// it the object that AfxGetApp returns and the entry point drives:
// InitInstance, then Run (the message loop, ending with ExitInstance) when
// InitInstance returns non-zero, or ExitInstance alone when it returns 0.
// Everything runs on the process's first thread.
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
 public:
  CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  virtual ~CWinApp();

  virtual BOOL InitInstance();

  // Dispatches messages until the quit message, then returns ExitInstance().
  // Without a main window (none set, or its creation failed) nothing could
  // ever end the loop, so it ends at once.
  virtual int Run();

  // Returns the exit code of the quit message.
  virtual int ExitInstance();

  // Not owned. Cleared, and the quit message posted, when its window is
  // destroyed.
  CWnd* m_pMainWnd = nullptr;

 private:
  int m_quitCode = 0;
};

CWinApp* AfxGetApp();
