// The stored Fn-lock state: HKCU\SOFTWARE\Varnel_Fn, value "IsFnLuck", one
// REG_BINARY byte (0 off, 1 on). The keyboard switches Fn lock itself; we
// keep the state so it can be handed back each time the keyboard is opened.
#pragma once

#include <cstdint>

extern const wchar_t kFnLockKey[];
extern const wchar_t kFnLockValue[];

// The stored state. With no key, the key is created holding the byte 0 and
// the answer is 0; a key without the value also gives 0 (and stays so).
//
// The value is meant to be one byte; of anything else, the first byte of
// its data counts, whatever the type and length (a REG_DWORD 1 made by hand
// reads as 1), and a value without data reads as 0.
int32_t ReadFnLock();

// The same reading for those who only look (the probe): nothing is created,
// and false when there is no key.
bool PeekFnLock(int32_t* state);

// Stores the low byte of state, creating the key when needed. Always 0;
// failures are silent.
int32_t WriteFnLock(int32_t state);
