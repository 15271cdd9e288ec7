// The server process of the RPC tests (rpchost.exe), driven through its stdin and stdout.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rpctest {

class HostProcess {
public:
    HostProcess() = default;
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    // Starts "rpchost <arguments>" in the current directory; false when it cannot start.
    bool Start(const std::vector<std::wstring>& arguments);
    // The next line the host printed, without its line end; empty when the host ended or
    // printed nothing within the time allowed.
    std::string ReadLine(DWORD timeoutMs = 30000);
    void Send(const std::string& line);
    // Waits for the host to end by itself; its exit code, or STILL_ACTIVE.
    DWORD WaitForExit(DWORD timeoutMs);
    // Tells the host to end and waits for it; its exit code, or STILL_ACTIVE.
    DWORD Stop();
    bool Running() const { return process_ != nullptr; }
    // The pipe a serving host said the endpoint mapper leads to.
    const std::string& Endpoint() const { return endpoint_; }

private:
    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;   // the host's stdin, our end
    HANDLE output_ = nullptr;  // the host's stdout, our end
    std::string pending_;
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
