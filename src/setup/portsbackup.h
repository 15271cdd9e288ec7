// A copy of the monitor's port definitions, kept across the monitor's re-registration.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RegistryValue {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

struct RegistryTree {
    std::wstring name;
    std::vector<RegistryValue> values;
    std::vector<RegistryTree> subkeys;
};

// The subkeys of the monitor's "Ports" key, one per port; empty where there is none.
using PortsBackup = std::vector<RegistryTree>;

PortsBackup SavePorts();

// Writes back every saved port whose key is gone; ports still there are left as they are.
void RestoreMissingPorts(const PortsBackup& ports);
