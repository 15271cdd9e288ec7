// Prints the ports EnumPortsW lists, "name<TAB>monitor" a line, in a process of its own:
// the monitor keeps the port table it read at its first start in a process, so only a
// new process sees what other processes changed.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text)
{
    if (!text) return "";
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), bytes, nullptr, nullptr);
    return result;
}

}  // namespace

int main()
{
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (!EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count)) {
        fprintf(stderr, "EnumPortsW failed: %lu\n", GetLastError());
        return 1;
    }
    auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        printf("%s\t%s\n", utf8(ports[i].pPortName).c_str(), utf8(ports[i].pMonitorName).c_str());
    return 0;
}
