// The client side of the monitor's RPC interface: the widl-generated client stub called
// through a partial binding, and raw requests for what the stub would never send.
#pragma once

#include <windows.h>
#include <rpc.h>

#include <string>
#include <vector>

namespace rpctest {

constexpr size_t kPortNameChars = 258;  // the interface's fixed name array

// Binds the stub's implicit handle to "ncacn_np:" on this machine: no endpoint, so the
// run-time asks the endpoint mapper at the first call. Returns the RPC status.
RPC_STATUS BindPartial();
void Unbind();
// The binding's protocol sequence and endpoint (empty until the endpoint is resolved).
std::wstring BindingProtseq();
std::wstring BindingEndpoint();

// One call of the operation. A failed call arrives as a structured exception (raised
// with the RPC status as its code).
struct CallResult {
    bool raised = false;
    DWORD exceptionCode = 0;
    LONG result = 0;
};
CallResult CallNewPort(wchar_t (&portName)[kPortNameChars], const std::wstring& address, unsigned char flags);

// A name buffer as a caller would send it: the text, its NUL, and a marker in every
// other element so that a test sees what came back changed.
struct NameBuffer {
    wchar_t chars[kPortNameChars];
};
NameBuffer MarkedName(const std::wstring& name);
std::wstring Text(const NameBuffer& buffer);  // up to the first NUL (or all 258)

// The NDR request the stub would marshal for (name buffer, address, flags).
std::vector<BYTE> RequestBytes(const NameBuffer& name, const std::wstring& address, unsigned char flags);

// Sends `request` as the body of a call of operation 0 through the bound handle. On
// success *reply holds the reply's body.
RPC_STATUS RawCall(const std::vector<BYTE>& request, std::vector<BYTE>* reply);

}  // namespace rpctest
