// Records shared by the monitor and the UI library: they cross the registry and the
// spooler's XCV channel, so their byte layouts are fixed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cwchar>

#pragma pack(push, 1)

// A port's configuration, stored as the "configInfo" value of its registry key.
struct ConfigInfo {
    LONG timeout;
    LONG retryCount;
    WCHAR community[256];
    LONG monitorFrequency;
    DWORD trapPort;
    DWORD monitorLevel;
    DWORD ipAddress;  // network byte order
    DWORD addrFormat;
};

// A new port's configuration before its address is known: the add-port dialog, the
// command-line tool and the one-call creation start from the same defaults.
inline ConfigInfo NewPortDefaults()
{
    ConfigInfo config{};
    config.timeout = 300;
    config.retryCount = 2;
    wcscpy(config.community, L"kestro_gauge");
    config.monitorFrequency = 2;
    return config;
}

// XCV request and reply records. Texts are NUL-terminated UTF-16 within their fields.

// "AddPort" input.
struct AddPortRequest {
    DWORD reserved;
    WCHAR portName[256];
    WCHAR addressText[16];  // the dotted address; the monitor does not read it
    DWORD requestFlags;     // requester's flags in the low byte
    ConfigInfo configInfo;
};

// "AddPort" output.
struct AddPortReply {
    DWORD printerType;
    DWORD errRc;
};

// "VerPortAddr" input.
struct VerPortAddrRequest {
    WCHAR addressText[130];
    DWORD addrFormat;  // IPAddrFormat's code for addressText
};

// "VerPortAddr" output.
struct VerPortAddrReply {
    DWORD ipAddress;  // network byte order
    WCHAR dottedAddress[16];
    DWORD errRc;
};

// "UpdPortComm" input.
struct UpdPortCommRequest {
    DWORD ipAddress;
    WCHAR community[256];
};

// "GetCommAccess" output; the caller fills `callerWord`.
struct GetCommAccessReply {
    DWORD errRc;
    WCHAR szCommunity[256];
    DWORD callerWord;
};

// "GetPortConfig" output.
struct GetPortConfigReply {
    DWORD errRc;
    ConfigInfo configInfo;
    WCHAR dottedAddress[16];
    DWORD portFlags;
};

// "CfgPort" input.
struct CfgPortRequest {
    WCHAR portName[130];
    ConfigInfo configInfo;
};

// "GetPortName" input.
struct GetPortNameRequest {
    DWORD ipAddress;
};

// "GetPortStatus" input.
struct GetPortStatusRequest {
    WCHAR portName[130];
};

// "GetPortStatus" output: what the print path and the status listener know of one port.
// The job fields describe the job in progress, else the port's last job.
struct GetPortStatusReply {
    DWORD errRc;
    DWORD portFlags;            // kPortStatusOpen, kPortStatusBusy, kPortStatusDeleted
    DWORD jobInProgress;        // non-zero between StartDocPort and EndDocPort
    DWORD jobId;                // the spooler's job id (0 where the spooler gives none)
    DWORD pjlAnswered;          // non-zero when the printer answered the PJL probe
    LONG lastPage;              // the page number of the printer's last page report, 0 before any
    DWORD lastReport;           // kPortReport*: the kind of the printer's last report
    FILETIME lastReportTime;    // UTC; zero when no report has come
    DWORD lastConnectionError;  // Winsock error of the last failed connect or reset, 0 when none
};

#pragma pack(pop)

// The "GetCommAccess" input is a port name in a buffer of at least this size.
constexpr DWORD kGetCommAccessMinInput = 770;

// Monitor error codes (errRc) in the replies.
constexpr DWORD kErrRcSuccess = 0;
constexpr DWORD kErrRcPortExists = 1;        // same name and address exist already
constexpr DWORD kErrRcGeneral = 10;
constexpr DWORD kErrRcBadAddress = 50;
constexpr DWORD kErrRcAddressUsed = 51;
constexpr DWORD kErrRcHostNotFound = 52;
constexpr DWORD kErrRcNameUsed = 61;
constexpr DWORD kErrRcPortNotFound = 250;

// Answers that this monitor never gives but its clients handle, as a monitor talking to
// the printer would give them.
constexpr DWORD kErrRcRestricted = 66;           // AddPort: printer refuses this workstation
constexpr DWORD kErrRcPort2501Disabled = 67;     // AddPort
constexpr DWORD kErrRcReadOnlyCommunity = 100;   // CfgPort
constexpr DWORD kErrRcNoResponse = 150;          // AddPort, CfgPort
constexpr DWORD kErrRcNoSnmpResponse = 151;      // CfgPort
constexpr DWORD kErrRcUnsupportedPrinter = 152;  // AddPort
constexpr DWORD kErrRcConfigNoResponse = 251;    // GetPortConfig

// GetPortStatusReply.portFlags.
constexpr DWORD kPortStatusOpen = 0x1;
constexpr DWORD kPortStatusBusy = 0x2;
constexpr DWORD kPortStatusDeleted = 0x8;

// GetPortStatusReply.lastReport.
constexpr DWORD kPortReportNone = 0;
constexpr DWORD kPortReportStart = 1;
constexpr DWORD kPortReportPage = 2;
constexpr DWORD kPortReportEnd = 3;
constexpr DWORD kPortReportCancel = 4;

// AddPortRequest.requestFlags: the requester's answers to AddPort's questions.
constexpr DWORD createIfPort2501Disabled = 0x1;
constexpr DWORD createIfRestricted = 0x2;

static_assert(sizeof(ConfigInfo) == 540);
static_assert(offsetof(ConfigInfo, timeout) == 0);
static_assert(offsetof(ConfigInfo, retryCount) == 4);
static_assert(offsetof(ConfigInfo, community) == 8);
static_assert(offsetof(ConfigInfo, monitorFrequency) == 520);
static_assert(offsetof(ConfigInfo, trapPort) == 524);
static_assert(offsetof(ConfigInfo, monitorLevel) == 528);
static_assert(offsetof(ConfigInfo, ipAddress) == 532);
static_assert(offsetof(ConfigInfo, addrFormat) == 536);

static_assert(sizeof(AddPortRequest) == 1092);
static_assert(offsetof(AddPortRequest, reserved) == 0);
static_assert(offsetof(AddPortRequest, portName) == 4);
static_assert(offsetof(AddPortRequest, addressText) == 516);
static_assert(offsetof(AddPortRequest, requestFlags) == 548);
static_assert(offsetof(AddPortRequest, configInfo) == 552);
static_assert(sizeof(AddPortReply) == 8);
static_assert(offsetof(AddPortReply, printerType) == 0);
static_assert(offsetof(AddPortReply, errRc) == 4);
static_assert(sizeof(VerPortAddrRequest) == 264);
static_assert(offsetof(VerPortAddrRequest, addressText) == 0);
static_assert(offsetof(VerPortAddrRequest, addrFormat) == 260);
static_assert(sizeof(VerPortAddrReply) == 40);
static_assert(offsetof(VerPortAddrReply, ipAddress) == 0);
static_assert(offsetof(VerPortAddrReply, dottedAddress) == 4);
static_assert(offsetof(VerPortAddrReply, errRc) == 36);
static_assert(sizeof(UpdPortCommRequest) == 516);
static_assert(offsetof(UpdPortCommRequest, ipAddress) == 0);
static_assert(offsetof(UpdPortCommRequest, community) == 4);
static_assert(sizeof(GetCommAccessReply) == 520);
static_assert(offsetof(GetCommAccessReply, errRc) == 0);
static_assert(offsetof(GetCommAccessReply, szCommunity) == 4);
static_assert(offsetof(GetCommAccessReply, callerWord) == 516);
static_assert(sizeof(GetPortConfigReply) == 580);
static_assert(offsetof(GetPortConfigReply, errRc) == 0);
static_assert(offsetof(GetPortConfigReply, configInfo) == 4);
static_assert(offsetof(GetPortConfigReply, dottedAddress) == 544);
static_assert(offsetof(GetPortConfigReply, portFlags) == 576);
static_assert(sizeof(CfgPortRequest) == 800);
static_assert(offsetof(CfgPortRequest, portName) == 0);
static_assert(offsetof(CfgPortRequest, configInfo) == 260);
static_assert(sizeof(GetPortNameRequest) == 4);
static_assert(offsetof(GetPortNameRequest, ipAddress) == 0);
static_assert(sizeof(GetPortStatusRequest) == 260);
static_assert(offsetof(GetPortStatusRequest, portName) == 0);
static_assert(sizeof(GetPortStatusReply) == 40);
static_assert(offsetof(GetPortStatusReply, errRc) == 0);
static_assert(offsetof(GetPortStatusReply, portFlags) == 4);
static_assert(offsetof(GetPortStatusReply, jobInProgress) == 8);
static_assert(offsetof(GetPortStatusReply, jobId) == 12);
static_assert(offsetof(GetPortStatusReply, pjlAnswered) == 16);
static_assert(offsetof(GetPortStatusReply, lastPage) == 20);
static_assert(offsetof(GetPortStatusReply, lastReport) == 24);
static_assert(offsetof(GetPortStatusReply, lastReportTime) == 28);
static_assert(offsetof(GetPortStatusReply, lastConnectionError) == 36);
