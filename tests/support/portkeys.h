// A monitor's port keys as the tests write and read them: `root` is the monitor's key
// (a private root or the installed monitor's), the ports lie below its "Ports" key.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "records.h"

namespace testing_support {

// A port's registry key with a configuration record of the given size (540 normally).
void WritePortKey(HKEY root, const std::wstring& name, const ConfigInfo& config,
                  DWORD size = sizeof(ConfigInfo));
void WritePortKeyWithoutConfig(HKEY root, const std::wstring& name);
bool PortKeyExists(HKEY root, const std::wstring& name);
std::vector<std::wstring> PortKeys(HKEY root);

// The "configInfo" value of a port's key, bytes past what was stored left as 0xCD; false
// when the key or the value is missing or the value is not binary. `size` gets the
// stored size.
bool ReadPortConfig(HKEY root, const std::wstring& name, ConfigInfo* config, DWORD* size = nullptr);

}  // namespace testing_support
