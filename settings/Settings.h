// The configuration file "config" beside the executable (section "Setting":
// "SmartFan", "Ver", "Device") and the settings record read from and written
// to a profile file. Window thread only; the file is never held open.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "settings/SettingsRecord.h"

extern const wchar_t kConfigFileName[];  // "config", no extension

// Fills *configPath (executable folder + "config") unless it is set. On
// failure it stays empty, which reads as no file, and the next use tries again.
void EnsureConfigPath(std::wstring* configPath);

// "SmartFan" as read, 0 when missing; any value other than 0 enables Fn+Q.
int32_t ReadSmartFan(const std::wstring& path);

SettingsRecord ReadSettings(const std::wstring& path);
// "SmartFan" other than 0 or 1 becomes 0; true when it had to.
bool ValidateSettings(SettingsRecord& settings);
void WriteSettings(const SettingsRecord& settings, const std::wstring& path);
// Re-reads *settings from path and validates it; a missing file is made with
// the values just read.
void ReloadSettings(const std::wstring& path, SettingsRecord* settings);
// "Device" = value; always 1.
int WriteDeviceState(const std::wstring& path, int32_t value);
