// The port administration commands: add, verify, read and reconfigure ports.
#include <winsock2.h>

#include "portadmin.h"

#include <algorithm>
#include <cwchar>

#include "garbage.h"
#include "pmuports.h"
#include "protlock.h"
#include "records.h"
#include "registry.h"
#include "seams.h"
#include "support.h"
#include "trace.h"

namespace {

// Replies are built in a local record and copied out whole: the spooler's buffers need
// not be aligned.
template <class Record>
void writeReply(PBYTE out, const Record& reply)
{
    memcpy(out, &reply, sizeof reply);
}

enum class Size { Exact, AtLeast };

// Copies the request when the input has the record's size (exactly, or at least).
template <class Record>
bool readRequest(const BYTE* in, DWORD cbIn, Size size, Record* request)
{
    if (!in || cbIn < sizeof(Record) || (size == Size::Exact && cbIn != sizeof(Record))) return false;
    memcpy(request, in, sizeof(Record));
    return true;
}

// Writes only an errRc of a reply that has room for one; the rest stays as it was.
void writeErrRc(PBYTE out, DWORD cbOut, DWORD errRc)
{
    if (out && cbOut >= sizeof(DWORD)) memcpy(out, &errRc, sizeof errRc);
}

template <size_t N>
bool terminatedWithin(const WCHAR (&field)[N])
{
    return wmemchr(field, L'\0', N) != nullptr;
}

template <size_t N>
void copyText(WCHAR (&field)[N], LPCWSTR text)
{
    wcsncpy(field, text ? text : L"", N - 1);
    field[N - 1] = L'\0';
}

// The dotted-decimal form of an address, as wide text; empty when it cannot be made.
template <size_t N>
void dottedText(WCHAR (&field)[N], DWORD ipAddress)
{
    in_addr address;
    address.s_addr = ipAddress;
    LPWSTR wide = MultiToWide(inet_ntoa(address));
    copyText(field, wide);
    if (wide) FreeSplMem(wide);
}

struct ChangeSection {
    CRITICAL_SECTION section;
    ChangeSection() { InitializeCriticalSection(&section); }
};

// Created on first use, by whichever command comes first; lives as long as the process.
CRITICAL_SECTION& changeSection()
{
    static ChangeSection instance;
    return instance.section;
}

}  // namespace

PortChangeLock::PortChangeLock()
{
    EnterCriticalSection(&changeSection());
}

PortChangeLock::~PortChangeLock()
{
    LeaveCriticalSection(&changeSection());
}

ptrdiff_t BoundedTextLength(const BYTE* in, DWORD cbIn, size_t maxChars)
{
    if (!in) return -1;
    size_t limit = cbIn / sizeof(WCHAR);
    if (limit > maxChars + 1) limit = maxChars + 1;
    for (size_t i = 0; i < limit; ++i) {
        WCHAR c;
        memcpy(&c, in + i * sizeof(WCHAR), sizeof c);
        if (c == L'\0') return static_cast<ptrdiff_t>(i);
    }
    return -1;
}

bool IsUsablePortName(LPCWSTR name)
{
    if (!name || !*name) return false;
    size_t length = wcsnlen(name, kMaxPortNameChars + 1);
    return length <= kMaxPortNameChars && !wcspbrk(name, L"\\,");
}

bool RefusesPortName(const char* command, const BYTE* in, DWORD cbIn, PBYTE errRcAt)
{
    // The registry would resolve "P\\" to the key "P": such a name reaches another port.
    if (BoundedTextLength(in, cbIn, kMaxPortNameChars) >= 0 && IsUsablePortName(reinterpret_cast<LPCWSTR>(in)))
        return false;
    TRACE(TRC_ERROR, "lanportm: Error in %s - Bad parameters\n", command);
    if (errRcAt) writeErrRc(errRcAt, sizeof(DWORD), kErrRcGeneral);
    return true;
}

DWORD AddPortServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed)
{
    TRACE(TRC_FLOW, "lanportm: Enter AddPortServer(%08x,%d,%08x,%d,%08x)\n", TraceAddr(in),
          static_cast<int>(cbIn), TraceAddr(out), static_cast<int>(cbOut), TraceAddr(needed));
    DWORD status = ERROR_SUCCESS;
    AddPortReply reply{0, kErrRcSuccess};
    AddPortRequest request;
    if (!out || cbOut != sizeof(AddPortReply) || !readRequest(in, cbIn, Size::Exact, &request) ||
        !terminatedWithin(request.portName) || !IsUsablePortName(request.portName)) {
        TRACE(TRC_ERROR, "lanportm: Error in AddPortServer - Bad parameters\n");
        // Sizes right, name unusable: the reply says why.
        if (out && cbOut == sizeof(AddPortReply)) {
            if (in && cbIn == sizeof(AddPortRequest)) reply.errRc = kErrRcGeneral;
            writeReply(out, reply);
        }
        status = ERROR_INVALID_PARAMETER;
    } else {
        request.configInfo.monitorLevel = 1;
        PortChangeLock changing;
        QelPort* port = CreatePortEntry(request.portName, &request.configInfo);
        if (!port) {
            // The name check of CreatePortEntry answers as VerPortName would have.
            reply.errRc = GetLastError() == ERROR_ALREADY_EXISTS ? kErrRcNameUsed : kErrRcGeneral;
            status = ERROR_GEN_FAILURE;
        } else {
            port->printerType = reply.printerType;
            if (!UpdateRegistryEntry(request.portName, &request.configInfo)) {
                status = FailureCode();
                RemovePortEntry(port);
                reply.errRc = kErrRcGeneral;
            }
        }
        writeReply(out, reply);
    }
    TRACE(TRC_FLOW, "lanportm: Exit  AddPortServer(). Returned %d\n", static_cast<int>(status));
    return status;
}

DWORD VerifyPortAddrServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD)
{
    if (!out) return ERROR_INVALID_PARAMETER;
    if (cbOut < sizeof(VerPortAddrReply)) return ERROR_INSUFFICIENT_BUFFER;
    VerPortAddrReply reply;
    memcpy(&reply, out, sizeof reply);
    reply.errRc = kErrRcSuccess;
    VerPortAddrRequest request;
    if (!readRequest(in, cbIn, Size::AtLeast, &request) || !terminatedWithin(request.addressText)) {
        reply.errRc = kErrRcGeneral;
        writeReply(out, reply);
        return ERROR_INVALID_PARAMETER;
    }
    DWORD status = ERROR_SUCCESS;
    switch (request.addrFormat) {
    case kAddrDotted: {
        // Longer than "255.255.255.255": not an address, and it would not fit the reply.
        if (wcslen(request.addressText) >= std::size(reply.dottedAddress)) {
            reply.errRc = kErrRcBadAddress;
            status = ERROR_GEN_FAILURE;
            break;
        }
        // Decimal octets: inet_addr would read "010" as octal.
        DWORD address = 0;
        if (!ParseDottedDecimal(request.addressText, &address) || address == INADDR_NONE) {
            reply.errRc = kErrRcBadAddress;
            status = ERROR_GEN_FAILURE;
            break;
        }
        reply.ipAddress = address;
        copyText(reply.dottedAddress, request.addressText);
        break;
    }
    case kAddrHostName:
    case kAddrDottedName: {
        LPSTR narrow = WideToMulti(request.addressText);
        if (!narrow) {
            TRACE(TRC_ERROR, "lanportm: VerifyPortAddrServer: %ls has no form in this code page\n",
                  request.addressText);
            status = ERROR_GEN_FAILURE;
            break;
        }
        hostent* host = nullptr;
        if (DWORD fault = InjectedFault(FaultPoint::HostLookup)) WSASetLastError(static_cast<int>(fault));
        else host = gethostbyname(narrow);
        FreeSplMem(narrow);
        if (!host || !host->h_addr_list || !host->h_addr_list[0]) {
            int error = WSAGetLastError();
            reply.errRc = error == WSAHOST_NOT_FOUND ? kErrRcHostNotFound : kErrRcGeneral;
            TRACE(TRC_ERROR, "lanportm: gethostbyxxx failed.  WSAGetLastError=%d\n", error);
            status = ERROR_GEN_FAILURE;
            break;
        }
        memcpy(&reply.ipAddress, host->h_addr_list[0], sizeof reply.ipAddress);
        dottedText(reply.dottedAddress, reply.ipAddress);
        break;
    }
    default:
        reply.errRc = kErrRcBadAddress;
        status = ERROR_GEN_FAILURE;
    }
    if (status == ERROR_SUCCESS &&
        ReadingPortTable(nullptr, [&] { return FindPortEntryByAddress(reply.ipAddress) != nullptr; }, true)) {
        reply.errRc = kErrRcAddressUsed;
        status = ERROR_GEN_FAILURE;
    }
    writeReply(out, reply);
    return status;
}

DWORD VerifyPortNameServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD)
{
    if (!out) return ERROR_INVALID_PARAMETER;
    if (cbOut < sizeof(DWORD)) return ERROR_INSUFFICIENT_BUFFER;
    if (RefusesPortName("VerifyPortNameServer", in, cbIn, out)) return ERROR_INVALID_PARAMETER;
    auto* name = reinterpret_cast<LPCWSTR>(in);
    DWORD status = ERROR_SUCCESS;
    DWORD errRc = kErrRcSuccess;
    DWORD lookupError = 0;
    if (PortExists(nullptr, name, &lookupError)) {
        errRc = kErrRcNameUsed;
        status = ERROR_ALREADY_EXISTS;
    } else if (PortNameInTable(name)) {
        errRc = kErrRcNameUsed;
        status = ERROR_GEN_FAILURE;
    }
    writeErrRc(out, cbOut, errRc);
    return status;
}

DWORD UpdatePortCommServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD)
{
    DWORD status = ERROR_SUCCESS;
    DWORD errRc = kErrRcSuccess;
    UpdPortCommRequest request;
    WCHAR name[256];
    if (!out || cbOut != sizeof(DWORD) || !readRequest(in, cbIn, Size::Exact, &request) ||
        !terminatedWithin(request.community)) {
        TRACE(TRC_ERROR, "lanportm: Error - Bad parameters\n");
        if (out && cbOut == sizeof(DWORD)) writeErrRc(out, cbOut, kErrRcGeneral);
        status = ERROR_INVALID_PARAMETER;
    } else if (PortChangeLock changing; !PortNameAtAddress(request.ipAddress, name, std::size(name))) {
        TRACE(TRC_ERROR, "lanportm: Error - Port not found\n");
        errRc = kErrRcPortNotFound;
        status = ERROR_UNKNOWN_PORT;
    } else {
        ConfigInfo config;
        if (!ReadRegistryEntry(name, &config)) {
            TRACE(TRC_ERROR, "lanportm: ReadRegistryEntry failed\n");
            errRc = kErrRcGeneral;
            status = ERROR_GEN_FAILURE;
        } else {
            Observe(Observation::AdminWindow, 0);
            WCHAR oldCommunity[256];
            memcpy(oldCommunity, config.community, sizeof oldCommunity);
            memcpy(config.community, request.community, sizeof config.community);
            if (!UpdateRegistryEntry(name, &config)) {
                TRACE(TRC_ERROR, "lanportm: UpdateRegistryEntry failed\n");
                errRc = kErrRcGeneral;
                status = ERROR_GEN_FAILURE;
            } else if (!StartProtectedRead(&portListLock)) {
                TRACE(TRC_ERROR, "lanportm: StartProtectedRead failed\n");
                memcpy(config.community, oldCommunity, sizeof config.community);
                UpdateRegistryEntry(name, &config);
                errRc = kErrRcGeneral;
                status = ERROR_GEN_FAILURE;
            } else {
                if (!FindPortEntryByAddress(request.ipAddress)) {
                    TRACE(TRC_ERROR, "lanportm: Error - Port not found\n");
                    DeleteRegistryEntry(name);
                    errRc = kErrRcPortNotFound;
                    status = ERROR_UNKNOWN_PORT;
                }
                EndProtectedRead(&portListLock);
            }
        }
    }
    if (status != ERROR_INVALID_PARAMETER) writeErrRc(out, cbOut, errRc);
    TRACE(TRC_FLOW, "lanportm: Exit  UpdatePortCommServer(). Returned dwStatus=%d, appl errRc=%d\n",
          static_cast<int>(status), static_cast<int>(status == ERROR_INVALID_PARAMETER ? kErrRcGeneral : errRc));
    return status;
}

DWORD ConfigurePortServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed)
{
    if (RefusesPortName("ConfigurePortServer", in, std::min<DWORD>(cbIn, sizeof(CfgPortRequest::portName)),
                        cbOut == sizeof(DWORD) ? out : nullptr))
        return ERROR_INVALID_PARAMETER;
    TRACE(TRC_FLOW, "lanportm: Enter ConfigurePortServer(%08x,%d,%08x,%d,%08x)\n", TraceAddr(in),
          static_cast<int>(cbIn), TraceAddr(out), static_cast<int>(cbOut), TraceAddr(needed));
    DWORD status = ERROR_SUCCESS;
    DWORD errRc = kErrRcSuccess;
    CfgPortRequest request;
    if (!out || cbOut != sizeof(DWORD) || !readRequest(in, cbIn, Size::Exact, &request) ||
        !terminatedWithin(request.portName)) {
        TRACE(TRC_ERROR, "lanportm: Error in ConfigurePortServer - Bad parameters\n");
        errRc = kErrRcGeneral;
        status = ERROR_INVALID_PARAMETER;
    } else {
        PortChangeLock changing;
        ConfigInfo saved;
        if (!ReadRegistryEntry(request.portName, &saved)) {
            TRACE(TRC_ERROR, "lanportm: ReadRegistryEntry failed\n");
            errRc = kErrRcGeneral;
            status = ERROR_GEN_FAILURE;
        } else if (Observe(Observation::AdminWindow, 0);
                   !UpdateRegistryEntry(request.portName, &request.configInfo)) {
            TRACE(TRC_ERROR, "lanportm: UpdateRegistryEntry failed\n");
            errRc = kErrRcGeneral;
            status = ERROR_GEN_FAILURE;
        } else if (!StartProtectedRead(&portListLock)) {
            TRACE(TRC_ERROR, "lanportm: StartProtectedRead failed\n");
            UpdateRegistryEntry(request.portName, &saved);
            errRc = kErrRcGeneral;
            status = ERROR_GEN_FAILURE;
        } else {
            if (!FindPortEntryByName(request.portName)) {
                TRACE(TRC_ERROR, "lanportm: Error - Port not found\n");
                DeleteRegistryEntry(request.portName);
                errRc = kErrRcPortNotFound;
                status = ERROR_UNKNOWN_PORT;
            }
            EndProtectedRead(&portListLock);
        }
    }
    if (out && cbOut == sizeof(DWORD)) writeErrRc(out, cbOut, errRc);
    TRACE(TRC_FLOW, "lanportm: Exit  ConfigurePortServer(). Returned dwStatus=%d, *pErrRc=%d\n",
          static_cast<int>(status), static_cast<int>(errRc));
    return status;
}

DWORD GetCommAccessServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD)
{
    if (RefusesPortName("GetCommAccessServer", in, cbIn, cbOut == sizeof(GetCommAccessReply) ? out : nullptr))
        return ERROR_INVALID_PARAMETER;
    TRACE(TRC_FLOW, "lanportm: Enter GetCommAccessServer())\n");
    DWORD status = ERROR_SUCCESS;
    GetCommAccessReply reply{};
    if (!out || cbOut != sizeof(GetCommAccessReply) || !in || cbIn < kGetCommAccessMinInput ||
        BoundedTextLength(in, cbIn, cbIn / sizeof(WCHAR)) < 0) {
        TRACE(TRC_ERROR, "lanportm: Error in GetCommAccessServer - Bad parameters\n");
        reply.errRc = kErrRcGeneral;
        if (out && cbOut == sizeof(GetCommAccessReply)) writeErrRc(out, cbOut, reply.errRc);
        status = ERROR_INVALID_PARAMETER;
    } else {
        memcpy(&reply, out, sizeof reply);
        reply.errRc = kErrRcSuccess;
        auto* name = reinterpret_cast<LPCWSTR>(in);
        if (!ReadingPortTable(nullptr, [name] { return FindPortEntryByName(name) != nullptr; }, false)) {
            TRACE(TRC_ERROR, "lanportm: Error - Port not found\n");
            reply.errRc = kErrRcPortNotFound;
            status = ERROR_UNKNOWN_PORT;
        } else if (reply.callerWord == 0 || reply.callerWord == 238) {
            reply.szCommunity[0] = L'\0';
        }
        reply.szCommunity[std::size(reply.szCommunity) - 1] = L'\0';
        writeReply(out, reply);
    }
    TRACE(TRC_FLOW,
          "lanportm: Exit  GetCommAccessServer(). Returned (Windows) dwStatus=%d, (P.M.) pGca_out->errRc=%d, "
          "pGca_out->szCommunity=%ls\n",
          static_cast<int>(status), static_cast<int>(reply.errRc), reply.szCommunity);
    return status;
}

DWORD GetPortConfigServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed)
{
    if (RefusesPortName("GetPortConfigServer", in, cbIn, cbOut == sizeof(GetPortConfigReply) ? out : nullptr))
        return ERROR_INVALID_PARAMETER;
    TRACE(TRC_FLOW, "lanportm: Enter GetPortConfigServer(%08x,%d,%08x,%d,%08x)\n", TraceAddr(in),
          static_cast<int>(cbIn), TraceAddr(out), static_cast<int>(cbOut), TraceAddr(needed));
    DWORD status = ERROR_SUCCESS;
    GetPortConfigReply reply{};
    ptrdiff_t length = BoundedTextLength(in, cbIn, 129);
    if (!out || cbOut != sizeof(GetPortConfigReply) || length < 1) {
        TRACE(TRC_ERROR, "lanportm: Error in GetPortConfigServer - Bad parameters\n");
        reply.errRc = kErrRcGeneral;
        if (out && cbOut == sizeof(GetPortConfigReply)) writeErrRc(out, cbOut, reply.errRc);
        status = ERROR_INVALID_PARAMETER;
    } else {
        memcpy(&reply, out, sizeof reply);
        reply.errRc = kErrRcSuccess;
        auto* name = reinterpret_cast<LPCWSTR>(in);
        bool found = ReadingPortTable(
            nullptr,
            [&] {
                QelPort* port = FindPortEntryByName(name);
                if (port) reply.portFlags = port->flags;
                return port != nullptr;
            },
            false);
        if (!found) {
            TRACE(TRC_ERROR, "lanportm: FindPortEntryByName failed; pszPortName=%ls\n", name);
            reply.errRc = kErrRcGeneral;
            status = ERROR_GEN_FAILURE;
        } else {
            ConfigInfo config;
            if (!ReadRegistryEntry(name, &config)) {
                TRACE(TRC_ERROR, "lanportm: ReadRegistryEntry failed\n");
                reply.errRc = kErrRcGeneral;
                status = ERROR_GEN_FAILURE;
            } else {
                dottedText(reply.dottedAddress, config.ipAddress);
                reply.configInfo = config;
            }
        }
        writeReply(out, reply);
    }
    TRACE(TRC_FLOW, "lanportm: Exit  GetPortConfigServer(). Returned Windows dwStatus=%d, P.M. errRc=%d\n",
          static_cast<int>(status), static_cast<int>(reply.errRc));
    return status;
}

DWORD GetPortNameServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed)
{
    GetPortNameRequest request;
    if (!readRequest(in, cbIn, Size::AtLeast, &request)) return ERROR_INVALID_PARAMETER;
    WCHAR name[256];
    if (!PortNameAtAddress(request.ipAddress, name, std::size(name))) {
        if (out && cbOut >= sizeof(WCHAR)) memset(out, 0, sizeof(WCHAR));
        return ERROR_UNKNOWN_PORT;
    }
    DWORD size = static_cast<DWORD>((wcslen(name) + 1) * sizeof(WCHAR));
    if (needed) *needed = size;
    if (!out || cbOut < size) return ERROR_INSUFFICIENT_BUFFER;
    memcpy(out, name, size);
    return ERROR_SUCCESS;
}
