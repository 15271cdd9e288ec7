// Failure lines of lanportctl (see session.h).
#include "session.h"

namespace lanportctl {

int Session::fail(const std::wstring& message) const
{
    output.err(std::wstring(kProgramName) + L": " + message);
    return kExitRefused;
}

int Session::usageError(const std::wstring& message) const
{
    output.err(std::wstring(kProgramName) + L": " + message + L" (" + kProgramName + L" --help lists the commands)");
    return kExitUsage;
}

}  // namespace lanportctl
