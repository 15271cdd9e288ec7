// The one-line texts of lanportctl (see messages.h).
#include "messages.h"

#include <cwctype>

#include "commands.h"
#include "newport.h"
#include "records.h"
#include "session.h"
#include "support.h"
#include "uires.h"

namespace lanportctl {

namespace {

const wchar_t kNoResponse[] =
    L"printer did not respond: verify that the printer is powered on, the network address is an Qel network "
    L"printer, and the network is available";

std::wstring hex(DWORD value)
{
    WCHAR text[16];
    wsprintfW(text, L"0x%x", value);
    return text;
}

}  // namespace

const std::vector<std::wstring>& UsageLines()
{
    static const std::vector<std::wstring> lines = {
        L"usage: lanportctl [--server \\\\name] <command> [arguments]",
        std::wstring(L"Administers the ports of the ") + kMonitorName + L" monitor through the print spooler.",
        L"",
        L"commands:",
        L"  list [--json]                    list the monitor's ports, each with its printer address",
        L"  add [--force] <address> [name]   add a port for the printer at <address> and print its name;",
        L"                                   the name is Zephrin:<address> when none is given or when it",
        L"                                   begins with Zephrin:",
        L"  show [--json] <port>             show a port's configuration",
        L"  set <port> [--address <address>] [--timeout <seconds>] [--retries <count>] [--community <name>]",
        L"                                   change the settings given, at least one, and keep all others",
        L"  set-address <port> <address>     the same as set <port> --address <address>",
        L"  status [--json] [port]           show what a port, or every port of the monitor, is doing",
        L"  delete <port>                    delete a port",
        L"  help, -h, --help, -?, /?         show this text",
        L"",
        L"options:",
        L"  --server \\\\name                  (before the command) administer the monitor on the print",
        L"                                   server \\\\name instead of on this computer",
        L"  --json                           one line of JSON (UTF-8) instead of text",
        L"  --timeout <seconds>              a whole number from " + std::to_wstring(kMinTimeout) + L" to " +
            std::to_wstring(kMaxTimeout),
        L"  --retries <count>                a whole number from " + std::to_wstring(kMinRetries) + L" to " +
            std::to_wstring(kMaxRetries),
        L"  --community <name>               1 to " + std::to_wstring(kMaxCommunityChars) + L" characters",
        L"",
        L"Where the add-port dialog asks whether to create a port anyway (the printer does not allow",
        L"printing from this workstation, or its port 2501 is disabled), add answers no and creates",
        L"nothing; with --force it answers yes.",
        L"",
        L"Addresses are dotted-decimal IPv4 addresses or host names. Port names must not contain , or \\",
        L"and have at most 128 characters.",
        L"",
        L"JSON fields:",
        L"  list     an array of {name, address}",
        L"  show     {name, address, addressFormat, addressFormatCode, timeout, retryCount, community,",
        L"           monitorFrequency, trapPort, monitorLevel, flags, open, busy}",
        L"  status   with a port one object, without an array of them: {name, flags, open, busy, deleted,",
        L"           jobInProgress, jobId, pjlAnswered, lastPage, lastReport (none, start, page, end,",
        L"           cancel), lastReportTime (local time with its offset, null before any report),",
        L"           lastConnectionError (0 when none), lastConnectionErrorText}",
        L"",
        L"Exit status:",
        L"  0  success",
        L"  1  refused by the monitor or the spooler (also an address the monitor rejects, an unknown port)",
        L"  2  usage error: unknown command or option, wrong number of arguments, an option without value",
        L"  3  invalid value: a number out of its range or not a whole number, a community name too long",
        L"     or empty, a malformed server name; nothing was changed",
        L"  4  the spooler of the server named by --server refused the request or cannot be reached",
    };
    return lines;
}

std::wstring AddressMessage(UINT messageId, const std::wstring& address, const std::wstring& usedBy)
{
    switch (messageId) {
    case IDS_ADDRESS_REQUIRED: return L"a network address is required";
    case IDS_ADDRESS_INVALID: return L"the printer's network address is invalid: " + address;
    case IDS_ADDRESS_USED:
        if (!usedBy.empty()) return L"address already used by port " + usedBy;
        return L"address " + address + L" is being used by another Zephrin network port";
    case IDS_ADDRESS_NOT_FOUND: return L"the network address was not found or is not valid: " + address;
    default: return L"an error occurred while verifying network address " + address;
    }
}

std::wstring NameMessage(UINT messageId, const std::wstring& name)
{
    switch (messageId) {
    case IDS_NAME_INVALID:
        return L"the port name " + name + L" is invalid: it cannot contain any of the following characters: " +
               lanportui::kForbiddenNameChars;
    case IDS_NAME_USED: return L"port name already used by another port: " + name;
    default: return L"an error occurred while verifying port name " + name;
    }
}

std::wstring NameTooLongMessage(const std::wstring& name)
{
    return L"the port name has more than " + std::to_wstring(lanportui::kMaxFieldChars) + L" characters: " + name;
}

std::wstring AddPortMessage(DWORD errRc, const std::wstring& name, bool forced)
{
    const std::wstring notCreated =
        forced ? L"; the monitor refused the port even so" : L"; port not created (--force creates it anyway)";
    switch (errRc) {
    case kErrRcRestricted:
        return L"the printer has been configured to not allow printing from this workstation" + notCreated;
    case kErrRcPort2501Disabled: return L"port 2501 has been disabled on the printer" + notCreated;
    case kErrRcNoResponse: return kNoResponse;
    case kErrRcUnsupportedPrinter:
        return L"the host with the specified network address is not a supported printer type";
    default: return L"error adding the Zephrin network port " + name;
    }
}

std::wstring GetConfigMessage(DWORD errRc, const std::wstring& port)
{
    if (errRc == kErrRcConfigNoResponse) return kNoResponse;
    return L"an error occurred while reading the configuration of Qel network port " + port;
}

std::wstring ConfigureMessage(DWORD errRc, const std::wstring& port)
{
    switch (errRc) {
    case kErrRcReadOnlyCommunity:
        return L"community is read-only: a read/write community is needed for effective monitoring";
    case kErrRcNoResponse: return kNoResponse;
    case kErrRcNoSnmpResponse: return L"printer did not respond: check the community name and try again";
    case kErrRcPortNotFound: return NoSuchPortMessage(port);
    default: return L"an error occurred while configuring Qel network port " + port;
    }
}

std::wstring NoSuchPortMessage(const std::wstring& port)
{
    return L"no such port: " + port;
}

std::wstring OtherMonitorMessage(const std::wstring& port, const std::wstring& monitor)
{
    return L"port " + port + L" belongs to the monitor " + monitor + L", not to " + kMonitorName;
}

std::wstring SpoolerMessage(const std::wstring& what, DWORD error)
{
    return what + L" (error " + std::to_wstring(error) + L")";
}

std::wstring ServerMessage(const std::wstring& what, const std::wstring& server, DWORD error)
{
    return what + L" on server " + server + L": " + SystemErrorText(error) + L" (error " + std::to_wstring(error) +
           L")";
}

std::wstring CommunityAddressMessage(const std::wstring& port)
{
    return L"the community of port " + port +
           L" cannot be changed now: the monitor knows the port by another address until it restarts";
}

std::wstring StatusMessage(const std::wstring& port, const XcvOutcome& outcome)
{
    if (!outcome.sent) return SpoolerMessage(L"cannot ask the monitor for the status of port " + port, outcome.error);
    if (outcome.status == ERROR_UNKNOWN_PORT || outcome.errRc == kErrRcPortNotFound) return NoSuchPortMessage(port);
    return L"the monitor gave no status for port " + port + L" (status " + std::to_wstring(outcome.status) +
           L", errRc " + std::to_wstring(outcome.errRc) + L")";
}

std::wstring SystemErrorText(DWORD error)
{
    WCHAR* text = nullptr;
    DWORD chars = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                 nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring result = chars && text ? std::wstring(text, chars) : L"";
    LocalFree(text);
    // The system's texts end in blanks and line ends.
    while (!result.empty() && iswspace(result.back())) result.pop_back();
    return result.empty() ? L"error " + std::to_wstring(error) : result;
}

std::wstring AddressFormatName(DWORD addrFormat)
{
    switch (addrFormat) {
    case kAddrDotted: return L"dotted-decimal";
    case kAddrHostName: return L"host name";
    case kAddrDottedName: return L"qualified host name";
    default: return L"unknown (" + std::to_wstring(addrFormat) + L")";
    }
}

std::wstring PortFlagsText(DWORD portFlags)
{
    std::wstring words;
    if (portFlags & kPortStatusOpen) words += L" open";
    if (portFlags & kPortStatusBusy) words += L" busy";
    return hex(portFlags) + (words.empty() ? L"" : L" (" + words.substr(1) + L")");
}

}  // namespace lanportctl
