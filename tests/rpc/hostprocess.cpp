#include "hostprocess.h"

namespace rpctest {

bool HostProcess::Start(const std::vector<std::wstring>& arguments)
{
    endpoint_.clear();
    // rpchost.exe is built beside the test program.
    return PipedChild::Start(testing_support::ProgramBeside(L"rpchost.exe"), arguments);
}

bool StartServing(HostProcess& host, const std::vector<std::wstring>& arguments, std::string* failure)
{
    if (!host.Start(arguments)) {
        *failure = "rpchost.exe did not start, error " + std::to_string(GetLastError());
        return false;
    }
    std::string line = host.ReadLine();
    if (line.rfind("ready ", 0) == 0) {
        host.endpoint_ = line.substr(6);
        return true;
    }
    *failure = line.empty() ? "rpchost.exe ended or stalled before it was ready" : line;
    return false;
}

std::vector<std::string> ListedPorts()
{
    std::vector<std::string> names;
    HostProcess lister;
    if (!lister.Start({L"ports"})) return names;
    for (std::string line = lister.ReadLine(); !line.empty(); line = lister.ReadLine()) names.push_back(line);
    lister.Stop();
    return names;
}

}  // namespace rpctest
