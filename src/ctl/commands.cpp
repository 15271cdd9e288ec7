// The subcommands of lanportctl (see commands.h): the add-port dialog's checks and
// requests, and the properties dialog's fetch, check and write, without the dialogs.
#include "commands.h"

#include <cwchar>
#include <iterator>

#include "messages.h"
#include "newport.h"
#include "records.h"
#include "spoolerports.h"
#include "uires.h"
#include "xcvclient.h"

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
    return lanportui::getXcvHandle(nullptr, session.monitor.c_str(), TRUE);
}

int cannotReachMonitor(const Session& session)
{
    return session.fail(SpoolerMessage(L"cannot reach the monitor " + session.monitor + L" through the spooler",
                                       GetLastError()));
}

// The monitor's port that `name` means, spelled as the spooler has it: a
// name that differs in case would leave the running port behind on delete, and the name
// of another monitor's port must not reach that monitor's commands.
int resolvePort(const Session& session, const std::wstring& name, std::wstring* exact)
{
    std::vector<SpoolerPort> ports;
    if (!SpoolerPorts(&ports)) return session.fail(SpoolerMessage(L"cannot list the spooler's ports", GetLastError()));
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
    xcv->reset(lanportui::getXcvHandle(nullptr, exact->c_str(), FALSE));
    if (!xcv->get())
        return session.fail(SpoolerMessage(L"cannot open port " + *exact + L" through the spooler", GetLastError()));
    return kExitSuccess;
}

struct PortConfig {
    ConfigInfo config{};
    WCHAR dotted[16] = L"";
    DWORD flags = 0;
};

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

int RunList(const Session& session)
{
    std::vector<SpoolerPort> ports;
    if (!SpoolerPorts(&ports)) return session.fail(SpoolerMessage(L"cannot list the spooler's ports", GetLastError()));
    XcvHandle xcv(openMonitor(session));
    if (!xcv.get()) return cannotReachMonitor(session);
    int rc = kExitSuccess;
    for (const SpoolerPort& port : ports) {
        if (!SameName(port.monitor, session.monitor)) continue;
        PortConfig config;
        if (getConfig(session, xcv.get(), port.name, &config) != kExitSuccess) {
            rc = kExitRefused;
            continue;
        }
        session.output.out(port.name + L"\t" + config.dotted);
    }
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

int RunShow(const Session& session, const std::wstring& portName)
{
    std::wstring port;
    XcvHandle xcv;
    PortConfig config;
    if (int rc = openPortConfig(session, portName, &port, &xcv, &config)) return rc;
    const ConfigInfo& info = config.config;
    std::wstring community(info.community, wcsnlen(info.community, std::size(info.community)));
    Output& out = session.output;
    out.out(L"name: " + port);
    out.out(L"address: " + std::wstring(config.dotted));
    out.out(L"address format: " + AddressFormatName(info.addrFormat));
    out.out(L"timeout: " + std::to_wstring(info.timeout));
    out.out(L"retry count: " + std::to_wstring(info.retryCount));
    out.out(L"community: " + community);
    out.out(L"monitor frequency: " + std::to_wstring(info.monitorFrequency));
    out.out(L"trap port: " + std::to_wstring(info.trapPort));
    out.out(L"monitor level: " + std::to_wstring(info.monitorLevel));
    out.out(L"flags: " + PortFlagsText(config.flags));
    return kExitSuccess;
}

int RunSetAddress(const Session& session, const std::wstring& portName, const std::wstring& address)
{
    std::wstring port;
    XcvHandle xcv;
    PortConfig config;
    if (int rc = openPortConfig(session, portName, &port, &xcv, &config)) return rc;
    if (address.empty()) return session.fail(AddressMessage(IDS_ADDRESS_REQUIRED, address, L""));
    // As in the properties dialog: the address the port has needs no check, and the
    // configuration goes back as it came.
    if (address != config.dotted) {
        DWORD ipAddress = 0, addrFormat = 0;
        WCHAR dotted[16] = L"";
        UINT messageId = 0;
        if (!lanportui::IssueVerPortAddr(xcv.get(), address.c_str(), &ipAddress, dotted, &addrFormat, &messageId)) {
            if (messageId == IDS_ADDRESS_USED)
                return session.fail(AddressMessage(messageId, address, PortAtAddress(xcv.get(), ipAddress)));
            return session.fail(AddressMessage(IDS_ADDRESS_NOT_FOUND, address, L""));
        }
        config.config.ipAddress = ipAddress;
        config.config.addrFormat = addrFormat;
    }
    DWORD errRc = kErrRcSuccess;
    BOOL sent = lanportui::IssueConfigurePort(xcv.get(), port.c_str(), &config.config, &errRc);
    if (sent && errRc == kErrRcSuccess) return kExitSuccess;
    return session.fail(ConfigureMessage(errRc, port));
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
