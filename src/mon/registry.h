// The registry store: one key per port under "Ports", each with a "configInfo" value.
#pragma once

#include <windows.h>

#include "records.h"

extern CRITICAL_SECTION registryCritSec;

constexpr WCHAR kTrxKeyPath[] = L"SOFTWARE\\Qel\\Zephrin Manager\\Configuration";

BOOL CreatePortsFromRegistry();
BOOL UpdateRegistryEntry(LPCWSTR portName, const ConfigInfo* config);
BOOL ReadRegistryEntry(LPCWSTR portName, ConfigInfo* config);
BOOL DeleteRegistryEntry(LPCWSTR portName);
BOOL CheckRegForTRX();
