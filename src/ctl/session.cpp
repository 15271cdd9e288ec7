// Failure lines of lanportctl (see session.h).
#include "session.h"

#include "messages.h"

namespace lanportctl {

namespace {

void report(const Session& session, const std::wstring& message)
{
    session.output.err(std::wstring(kProgramName) + L": " + message);
}

}  // namespace

int Session::fail(const std::wstring& message) const
{
    report(*this, message);
    return kExitRefused;
}

int Session::usageError(const std::wstring& message) const
{
    report(*this, message + L" (" + kProgramName + L" --help lists the commands)");
    return kExitUsage;
}

int Session::invalidValue(const std::wstring& message) const
{
    report(*this, message);
    return kExitInvalidValue;
}

int Session::spoolerFailed(const std::wstring& what, DWORD error) const
{
    if (server.empty()) return fail(SpoolerMessage(what, error));
    report(*this, ServerMessage(what, server, error));
    return kExitServer;
}

}  // namespace lanportctl
