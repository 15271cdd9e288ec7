// Creating a port in one call, for the RPC endpoint: the verification and add commands
// run in turn, with a generated name when the requested one is taken.
#include "newport.h"

#include <cwchar>
#include <string>

#include "monitor.h"
#include "pmuports.h"
#include "portadmin.h"
#include "records.h"
#include "support.h"
#include "trace.h"
#include "xcvserver.h"

namespace {

constexpr size_t kWorkingNameChars = 129;
constexpr size_t kMaxAddressChars = 129;  // the address field of a VerPortAddr request
constexpr WCHAR kGeneratedPrefix[] = L"Zephrin:";

template <class Request, class Reply>
DWORD runServer(XcvServerRoutine server, Request& request, Reply& reply)
{
    DWORD needed = 0;
    return server(reinterpret_cast<PBYTE>(&request), sizeof request, reinterpret_cast<PBYTE>(&reply),
                  sizeof reply, &needed);
}

DWORD verifyName(const WCHAR* name, DWORD* errRc)
{
    DWORD needed = 0;
    *errRc = kErrRcSuccess;
    return VerifyPortNameServer(reinterpret_cast<PBYTE>(const_cast<WCHAR*>(name)),
                                static_cast<DWORD>((wcslen(name) + 1) * sizeof(WCHAR)),
                                reinterpret_cast<PBYTE>(errRc), sizeof *errRc, &needed);
}

// The n-th generated name: "Zephrin:" + address, then "_2", "_3" and so on; false when it
// does not fit the working name or is no usable port name.
bool generateName(WCHAR (&working)[kWorkingNameChars], const WCHAR* address, unsigned attempt)
{
    std::wstring name = std::wstring(kGeneratedPrefix) + address;
    if (attempt > 1) name += L"_" + std::to_wstring(attempt);
    if (name.size() >= kWorkingNameChars || !IsUsablePortName(name.c_str())) return false;
    wcscpy(working, name.c_str());
    return true;
}

}  // namespace

LONG monSetNewPort(WCHAR* portName, const WCHAR* address, unsigned char flags)
{
    // The RPC endpoint listens from process attach, before the spooler has set the
    // monitor up.
    if (!monitorInitialized || !portName || !address) return kErrRcGeneral;
    if (wcsnlen(portName, kMaxPortNameChars + 1) > kMaxPortNameChars ||
        wcsnlen(address, kMaxAddressChars + 1) > kMaxAddressChars)
        return kErrRcGeneral;

    WCHAR working[kWorkingNameChars];
    wcscpy(working, portName);
    TRACE(TRC_FLOW, "lanportm: Enter monSetNewPort, port %ls\n", working);
    DWORD result = kErrRcSuccess;
    WORD format = IPAddrFormat(address);
    VerPortAddrRequest verify{};
    VerPortAddrReply verified{};
    if (!IsUsablePortName(working)) {
        result = kErrRcGeneral;
    } else if (format & kAddrInvalid) {
        result = kErrRcBadAddress;
        TRACE(TRC_ERROR, "lanportm: monSetNewPort: IPAddrFormat failed; Invalid IP format; ErrRc=%d\n",
              static_cast<int>(result));
    } else {
        wcscpy(verify.addressText, address);
        verify.addrFormat = format;
        if (runServer(VerifyPortAddrServer, verify, verified) !=
            ERROR_SUCCESS) {
            // A failure without a monitor code (a failed text conversion) is no success.
            result = verified.errRc ? verified.errRc : kErrRcGeneral;
            TRACE(TRC_ERROR, "lanportm: monSetNewPort: VerifyPortAddrServer failed; ErrRc=%d\n",
                  static_cast<int>(result));
            WCHAR existing[256];
            if (result == kErrRcAddressUsed &&
                PortNameAtAddress(verified.ipAddress, existing, std::size(existing))) {
                if (wcscmp(existing, working) == 0) {
                    result = kErrRcPortExists;
                } else {
                    wcsncpy(working, existing, kWorkingNameChars - 1);
                    working[kWorkingNameChars - 1] = L'\0';
                }
                TRACE(TRC_DETAIL, "lanportm: monSetNewPort: Port at requested address exists already, named %ls\n",
                      existing);
                wcscpy(portName, working);
            }
        } else {
            DWORD nameErrRc = kErrRcSuccess;
            for (unsigned attempt = 1; result != kErrRcGeneral &&
                                       verifyName(working, &nameErrRc) != ERROR_SUCCESS;
                 ++attempt) {
                result = nameErrRc;
                if (!generateName(working, address, attempt)) result = kErrRcGeneral;
            }
            if (result != kErrRcGeneral) {
                AddPortRequest add{};
                wcscpy(add.portName, working);
                wcsncpy(add.addressText, address, std::size(add.addressText) - 1);
                add.requestFlags = flags;
                add.configInfo = NewPortDefaults();
                add.configInfo.ipAddress = verified.ipAddress;
                add.configInfo.addrFormat = format;
                AddPortReply added{};
                DWORD rc = runServer(AddPortServer, add, added);
                if (rc != ERROR_SUCCESS) {
                    TRACE(TRC_ERROR, "lanportm: monSetNewPort: AddPortServer failed; printerType=%d, dwRet=%d, ErrRc=%d\n",
                          static_cast<int>(added.printerType), static_cast<int>(rc), static_cast<int>(added.errRc));
                    result = added.errRc ? added.errRc : kErrRcGeneral;
                } else {
                    wcscpy(portName, working);
                }
            }
        }
    }
    TRACE(TRC_FLOW, "lanportm: Exit  monSetNewPort %s %ls\n",
          result == kErrRcSuccess ? "success new port created:" : "failure, no port created",
          result == kErrRcSuccess ? working : L"");
    return static_cast<LONG>(result);
}
