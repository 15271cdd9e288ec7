// The spooler's view of the ports (see spoolerports.h).
#include "spoolerports.h"

#include <winspool.h>

#include "records.h"
#include "spoolerbuffer.h"

namespace lanportctl {

namespace {

// Ports may come and go between the sizing call and the listing.
constexpr int kListAttempts = 4;

}  // namespace

BOOL SpoolerPorts(LPCWSTR server, std::vector<SpoolerPort>* ports)
{
    ports->clear();
    std::vector<BYTE> buffer;
    DWORD needed = 0, count = 0;
    for (int attempt = 0; attempt < kListAttempts; ++attempt) {
        if (EnumPortsW(const_cast<LPWSTR>(server), 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                       &count)) {
            const BYTE* begin = buffer.data();
            DWORD size = static_cast<DWORD>(buffer.size());
            auto* info = reinterpret_cast<const PORT_INFO_2W*>(begin);
            for (DWORD i = 0; i < RecordsWithin<PORT_INFO_2W>(count, size); ++i) {
                // An entry the spooler left unfilled names no port.
                LPCWSTR name = TextWithin<WCHAR>(info[i].pPortName, begin, size);
                LPCWSTR monitor = TextWithin<WCHAR>(info[i].pMonitorName, begin, size);
                if (name) ports->push_back({name, monitor ? monitor : L""});
            }
            return TRUE;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
        buffer.assign(needed, 0);
    }
    return FALSE;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

const SpoolerPort* FindSpoolerPort(const std::vector<SpoolerPort>& ports, const std::wstring& name)
{
    for (const SpoolerPort& port : ports)
        if (SameName(port.name, name)) return &port;
    return nullptr;
}

std::wstring PortAtAddress(HANDLE hXcv, DWORD ipAddress)
{
    GetPortNameRequest request{ipAddress};
    WCHAR name[256] = L"";
    DWORD needed = 0, status = 0;
    if (!XcvDataW(hXcv, L"GetPortName", reinterpret_cast<PBYTE>(&request), sizeof request,
                  reinterpret_cast<PBYTE>(name), sizeof name - sizeof(WCHAR), &needed, &status) ||
        status != ERROR_SUCCESS)
        return L"";
    return name;
}

}  // namespace lanportctl
