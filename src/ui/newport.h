// How a new port's "AddPort" request is made: its name and its starting configuration.
// The add-port dialog and the command-line tool build the same requests.
#pragma once

#include <windows.h>

#include "records.h"

namespace lanportui {

constexpr WCHAR kPortPrefix[] = L"Zephrin:";

// Characters a port name must not hold (the spooler's name separators).
constexpr WCHAR kForbiddenNameChars[] = L",\\";

// Longest address or port name a user may give.
constexpr int kMaxFieldChars = 128;

// The name a port gets: "Zephrin:" and the address as given, when the given name is
// empty or itself begins with "Zephrin:"; otherwise the given name. `name` holds
// 256 characters and may be `givenName` itself.
void MakePortName(LPCWSTR address, LPCWSTR givenName, LPWSTR name);

BOOL HasForbiddenNameChar(LPCWSTR name);

}  // namespace lanportui
