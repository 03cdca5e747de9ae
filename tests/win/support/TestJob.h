// The job every program a test starts belongs to. It ends them all when the
// test program ends in any way, killed for taking too long too, so none is
// left holding the keyboard or the single-instance mutex for the tests
// after.
#pragma once

#include <windows.h>

#include "fw/UniqueHandle.h"

inline HANDLE TestJob() {
  static const CKernelHandle job = [] {
    CKernelHandle created(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(created.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return created;
  }();
  return job.Get();
}
