// The subcommands of lanportctl (see commands.h): the add-port dialog's checks and
// requests, and the properties dialog's fetch, check and write, without the dialogs.
#include "commands.h"

#include <cwchar>
#include <iterator>

#include "configview.h"
#include "json.h"
#include "messages.h"
#include "newport.h"
#include "records.h"
#include "spoolerports.h"
#include "statusview.h"
#include "uires.h"
#include "xcvclient.h"
#include "xcvrequests.h"

namespace lanportctl {

namespace {

class XcvHandle {
public:
    explicit XcvHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~XcvHandle() { lanportui::closeXcvHandle(handle_); }
    XcvHandle(const XcvHandle&) = delete;
    XcvHandle& operator=(const XcvHandle&) = delete;
    HANDLE get() const { return handle_; }
    void reset(HANDLE handle)
    {
        lanportui::closeXcvHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

HANDLE openMonitor(const Session& session)
{
    return lanportui::getXcvHandle(session.serverName(), session.monitor.c_str(), TRUE);
}

int cannotReachMonitor(const Session& session)
{
    return session.spoolerFailed(L"cannot reach the monitor " + session.monitor + L" through the spooler",
                                 GetLastError());
}

int cannotListPorts(const Session& session)
{
    return session.spoolerFailed(L"cannot list the spooler's ports", GetLastError());
}

// The spooler's ports that belong to the session's monitor.
int monitorPorts(const Session& session, std::vector<std::wstring>* names)
{
    std::vector<SpoolerPort> ports;
    if (!SpoolerPorts(session.serverName(), &ports)) return cannotListPorts(session);
    for (const SpoolerPort& port : ports)
        if (SameName(port.monitor, session.monitor)) names->push_back(port.name);
    return kExitSuccess;
}

// The monitor's port that `name` means, spelled as the spooler has it: a
// name that differs in case would leave the running port behind on delete, and the name
// of another monitor's port must not reach that monitor's commands.
int resolvePort(const Session& session, const std::wstring& name, std::wstring* exact)
{
    std::vector<SpoolerPort> ports;
    if (!SpoolerPorts(session.serverName(), &ports)) return cannotListPorts(session);
    const SpoolerPort* port = FindSpoolerPort(ports, name);
    if (!port) return session.fail(NoSuchPortMessage(name));
    if (!SameName(port->monitor, session.monitor)) return session.fail(OtherMonitorMessage(port->name, port->monitor));
    *exact = port->name;
    return kExitSuccess;
}

// Opens the XCV handle of the monitor's port `name`; on success `exact` is its name.
int openPort(const Session& session, const std::wstring& name, std::wstring* exact, XcvHandle* xcv)
{
    if (int rc = resolvePort(session, name, exact)) return rc;
    xcv->reset(lanportui::getXcvHandle(session.serverName(), exact->c_str(), FALSE));
    if (!xcv->get())
        return session.spoolerFailed(L"cannot open port " + *exact + L" through the spooler", GetLastError());
    return kExitSuccess;
}

int getConfig(const Session& session, HANDLE hXcv, const std::wstring& port, PortConfig* result)
{
    DWORD errRc = kErrRcSuccess;
    if (!lanportui::IssueGetPortConfig(hXcv, port.c_str(), result->dotted, &result->config, &result->flags, &errRc))
        return session.fail(GetConfigMessage(errRc, port));
    return kExitSuccess;
}

// Opens the monitor's port `name` and fetches its configuration, as the properties
// dialog does before it shows anything.
int openPortConfig(const Session& session, const std::wstring& name, std::wstring* exact, XcvHandle* xcv,
                   PortConfig* config)
{
    if (int rc = openPort(session, name, exact, xcv)) return rc;
    return getConfig(session, xcv->get(), *exact, config);
}

// The request flag that answers yes to AddPort's question `errRc`; 0 for other answers.
DWORD questionFlag(DWORD errRc)
{
    switch (errRc) {
    case kErrRcRestricted: return createIfRestricted;
    case kErrRcPort2501Disabled: return createIfPort2501Disabled;
    default: return 0;
    }
}

}  // namespace

int RunList(const Session& session, Format format)
{
    std::vector<std::wstring> ports;
    if (int rc = monitorPorts(session, &ports)) return rc;
    XcvHandle xcv(openMonitor(session));
    if (!xcv.get()) return cannotReachMonitor(session);
    int rc = kExitSuccess;
    JsonWriter json;
    json.beginArray();
    for (const std::wstring& port : ports) {
        PortConfig config;
        if (getConfig(session, xcv.get(), port, &config) != kExitSuccess) {
            rc = kExitRefused;
            continue;
        }
        if (format == Format::Json)
            WritePortListEntry(json, port, config);
        else
            session.output.out(port + L"\t" + config.dotted);
    }
    json.endArray();
    if (format == Format::Json) session.output.out(json.text());
    return rc;
}

int RunAdd(const Session& session, const std::wstring& address, const std::wstring& givenName, bool force)
{
    if (givenName.size() > static_cast<size_t>(lanportui::kMaxFieldChars))
        return session.fail(NameTooLongMessage(givenName));
    XcvHandle xcv(openMonitor(session));
    if (!xcv.get()) return cannotReachMonitor(session);

    AddPortRequest request{};
    request.reserved = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(xcv.get()));
    request.configInfo = NewPortDefaults();
    UINT messageId = 0;
    if (!lanportui::IssueVerPortAddr(xcv.get(), address.c_str(), &request.configInfo.ipAddress, request.addressText,
                                     &request.configInfo.addrFormat, &messageId)) {
        std::wstring usedBy;
        if (messageId == IDS_ADDRESS_USED) usedBy = PortAtAddress(xcv.get(), request.configInfo.ipAddress);
        return session.fail(AddressMessage(messageId, address, usedBy));
    }

    WCHAR name[std::size(request.portName)];
    lanportui::MakePortName(address.c_str(), givenName.c_str(), name);
    // Longer names could be created but not read back or configured.
    if (wcslen(name) > static_cast<size_t>(lanportui::kMaxFieldChars)) return session.fail(NameTooLongMessage(name));
    if (lanportui::HasForbiddenNameChar(name)) return session.fail(NameMessage(IDS_NAME_INVALID, name));
    if (!lanportui::IssueVerPortName(xcv.get(), name, &messageId)) return session.fail(NameMessage(messageId, name));
    wcscpy(request.portName, name);

    for (;;) {
        AddPortReply reply{};
        BOOL sent = lanportui::IssueAddPort(xcv.get(), &request, &reply);
        if (sent && reply.errRc == kErrRcSuccess) {
            session.output.out(name);
            return kExitSuccess;
        }
        DWORD flag = questionFlag(reply.errRc);
        // A question asked again after its yes would be asked for ever.
        if (!flag || !force || (request.requestFlags & flag))
            return session.fail(AddPortMessage(reply.errRc, name, flag && (request.requestFlags & flag)));
        request.requestFlags |= flag;
    }
}

int RunShow(const Session& session, const std::wstring& portName, Format format)
{
    std::wstring port;
    XcvHandle xcv;
    PortConfig config;
    if (int rc = openPortConfig(session, portName, &port, &xcv, &config)) return rc;
    if (format == Format::Json) {
        JsonWriter json;
        WritePortConfig(json, port, config);
        session.output.out(json.text());
    } else {
        for (const std::wstring& line : PortConfigLines(port, config)) session.output.out(line);
    }
    return kExitSuccess;
}

int RunSet(const Session& session, const std::wstring& portName, const PortChanges& changes)
{
    std::wstring port;
    XcvHandle xcv;
    PortConfig config;
    if (int rc = openPortConfig(session, portName, &port, &xcv, &config)) return rc;
    // Every check before the first write, so that a refusal changes nothing.
    ConfigInfo wanted = config.config;
    if (changes.address) {
        const std::wstring& address = *changes.address;
        if (address.empty()) return session.fail(AddressMessage(IDS_ADDRESS_REQUIRED, address, L""));
        // As in the properties dialog: the address the port has needs no check.
        if (address != config.dotted) {
            WCHAR dotted[16] = L"";
            UINT messageId = 0;
            if (!lanportui::IssueVerPortAddr(xcv.get(), address.c_str(), &wanted.ipAddress, dotted, &wanted.addrFormat,
                                             &messageId)) {
                if (messageId == IDS_ADDRESS_USED)
                    return session.fail(AddressMessage(messageId, address, PortAtAddress(xcv.get(), wanted.ipAddress)));
                return session.fail(AddressMessage(IDS_ADDRESS_NOT_FOUND, address, L""));
            }
        }
    }
    if (changes.timeout) wanted.timeout = *changes.timeout;
    if (changes.retryCount) wanted.retryCount = *changes.retryCount;
    // "UpdPortComm" finds the port by the address the running monitor has for it, which
    // is the stored one until a changed address is stored; after that, until the monitor
    // restarts, the stored address may name no port or another one.
    if (changes.community && !SameName(PortAtAddress(xcv.get(), config.config.ipAddress), port))
        return session.fail(CommunityAddressMessage(port));

    // "CfgPort" writes the record as fetched with the new values; the community it
    // carries is the stored one, which "UpdPortComm" replaces afterwards.
    bool configured = false;
    if (changes.address || changes.timeout || changes.retryCount) {
        DWORD errRc = kErrRcSuccess;
        BOOL sent = lanportui::IssueConfigurePort(xcv.get(), port.c_str(), &wanted, &errRc);
        if (!sent || errRc != kErrRcSuccess) return session.fail(ConfigureMessage(errRc, port));
        configured = true;
    }
    if (changes.community) {
        XcvOutcome outcome = IssueUpdatePortCommunity(xcv.get(), config.config.ipAddress, *changes.community);
        if (!outcome.succeeded()) {
            std::wstring message = outcome.sent ? ConfigureMessage(outcome.errRc, port)
                                                : SpoolerMessage(L"cannot change the community of port " + port,
                                                                 outcome.error);
            return session.fail(message + (configured ? L"; the other settings were changed" : L""));
        }
    }
    return kExitSuccess;
}

int RunStatus(const Session& session, const std::wstring* portName, Format format)
{
    std::vector<std::wstring> ports;
    XcvHandle xcv;
    if (portName) {
        std::wstring port;
        if (int rc = openPort(session, *portName, &port, &xcv)) return rc;
        ports.push_back(port);
    } else {
        if (int rc = monitorPorts(session, &ports)) return rc;
        xcv.reset(openMonitor(session));
        if (!xcv.get()) return cannotReachMonitor(session);
    }
    int rc = kExitSuccess;
    JsonWriter json;
    if (!portName) json.beginArray();
    bool first = true;
    for (const std::wstring& port : ports) {
        GetPortStatusReply status{};
        XcvOutcome outcome = IssueGetPortStatus(xcv.get(), port, &status);
        if (!outcome.succeeded()) {
            rc = session.fail(StatusMessage(port, outcome));
            continue;
        }
        if (format == Format::Json) {
            WritePortStatus(json, port, status);
            continue;
        }
        // A blank line between the ports' blocks.
        if (!first) session.output.out(L"");
        first = false;
        for (const std::wstring& line : PortStatusLines(port, status)) session.output.out(line);
    }
    if (!portName) json.endArray();
    if (format == Format::Json && !json.text().empty()) session.output.out(json.text());
    return rc;
}

int RunDelete(const Session& session, const std::wstring& portName)
{
    std::wstring port;
    XcvHandle xcv;
    if (int rc = openPort(session, portName, &port, &xcv)) return rc;
    DWORD error = ERROR_SUCCESS;
    if (lanportui::IssueDeletePort(xcv.get(), port.c_str(), &error)) return kExitSuccess;
    if (error == ERROR_UNKNOWN_PORT) return session.fail(NoSuchPortMessage(port));
    return session.fail(SpoolerMessage(L"cannot delete port " + port, error));
}

}  // namespace lanportctl
