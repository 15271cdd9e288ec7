// The server process of the RPC tests (rpchost.exe), driven through its stdin and stdout.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "pipedchild.h"

namespace rpctest {

class HostProcess : public testing_support::PipedChild {
public:
    // Starts "rpchost <arguments>"; false when it cannot start.
    bool Start(const std::vector<std::wstring>& arguments);
    // The pipe a serving host said the endpoint mapper leads to.
    const std::string& Endpoint() const { return endpoint_; }

private:
    std::string endpoint_;

    friend bool StartServing(HostProcess&, const std::vector<std::wstring>&, std::string*);
};

// Starts the host in a serving mode and waits for its "ready <endpoint>"; the line it
// printed instead is in *failure.
bool StartServing(HostProcess& host, const std::vector<std::wstring>& arguments, std::string* failure);

// The port names EnumPortsW lists in a new process (which loads the monitor afresh,
// from the registry).
std::vector<std::string> ListedPorts();

}  // namespace rpctest
