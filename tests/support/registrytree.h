// Registry helpers of the tests: whole subtrees and the names of subkeys.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// Deletes `name` below `parent` with everything under it; nothing when it is absent.
void DeleteKeyTree(HKEY parent, const std::wstring& name);

// The names of the subkeys of `path` below `parent`, in the registry's order; empty
// when the key is absent.
std::vector<std::wstring> SubkeyNames(HKEY parent, const std::wstring& path);

}  // namespace testing_support
