#include "rpcclient.h"

#include <cstring>

#include "portrpc.h"
#include "sehguard.h"

namespace rpctest {

namespace {

RPC_WSTR rpcText(const wchar_t* text)
{
    return reinterpret_cast<RPC_WSTR>(const_cast<wchar_t*>(text));
}

void appendDword(std::vector<BYTE>& bytes, DWORD value)
{
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<BYTE>(value >> shift));
}

void appendChars(std::vector<BYTE>& bytes, const wchar_t* chars, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        bytes.push_back(static_cast<BYTE>(chars[i]));
        bytes.push_back(static_cast<BYTE>(chars[i] >> 8));
    }
}

}  // namespace

RPC_STATUS BindPartial()
{
    RPC_WSTR text = nullptr;
    RPC_STATUS status = RpcStringBindingComposeW(nullptr, rpcText(L"ncacn_np"), nullptr, nullptr, nullptr, &text);
    if (status != RPC_S_OK) return status;
    status = RpcBindingFromStringBindingW(text, &portrpc_binding);
    RpcStringFreeW(&text);
    return status;
}

void Unbind()
{
    if (portrpc_binding) RpcBindingFree(&portrpc_binding);
}

namespace {

// One part of the binding's string form: 0 the protocol sequence, 1 the endpoint.
std::wstring bindingPart(int part)
{
    RPC_WSTR text = nullptr, protseq = nullptr, endpoint = nullptr;
    std::wstring result;
    if (RpcBindingToStringBindingW(portrpc_binding, &text) == RPC_S_OK &&
        RpcStringBindingParseW(text, nullptr, &protseq, nullptr, &endpoint, nullptr) == RPC_S_OK) {
        RPC_WSTR wanted = part == 0 ? protseq : endpoint;
        if (wanted) result = reinterpret_cast<wchar_t*>(wanted);
    }
    RpcStringFreeW(&endpoint);
    RpcStringFreeW(&protseq);
    RpcStringFreeW(&text);
    return result;
}

}  // namespace

std::wstring BindingProtseq()
{
    return bindingPart(0);
}

std::wstring BindingEndpoint()
{
    return bindingPart(1);
}

CallResult CallNewPort(wchar_t (&portName)[kPortNameChars], const std::wstring& address, unsigned char flags)
{
    CallResult call;
    const wchar_t* text = address.c_str();
    call.raised = SehTry([&] { call.result = monSetNewPort(portName, text, flags); }, &call.exceptionCode);
    return call;
}

NameBuffer MarkedName(const std::wstring& name)
{
    NameBuffer buffer;
    for (wchar_t& c : buffer.chars) c = 0xBEEF;
    size_t length = name.size() < kPortNameChars ? name.size() : kPortNameChars;
    memcpy(buffer.chars, name.data(), length * sizeof(wchar_t));
    if (length < kPortNameChars) buffer.chars[length] = L'\0';
    return buffer;
}

std::wstring Text(const NameBuffer& buffer)
{
    size_t length = 0;
    while (length < kPortNameChars && buffer.chars[length]) ++length;
    return std::wstring(buffer.chars, length);
}

std::vector<BYTE> RequestBytes(const NameBuffer& name, const std::wstring& address, unsigned char flags)
{
    std::vector<BYTE> bytes;
    appendChars(bytes, name.chars, kPortNameChars);
    // A conformant varying string: maximum count, offset, actual count, the characters
    // with their NUL. 516 bytes of name leave it 4-aligned.
    DWORD count = static_cast<DWORD>(address.size() + 1);
    appendDword(bytes, count);
    appendDword(bytes, 0);
    appendDword(bytes, count);
    appendChars(bytes, address.c_str(), count);
    bytes.push_back(flags);
    return bytes;
}

RPC_STATUS RawCall(const std::vector<BYTE>& request, std::vector<BYTE>* reply)
{
    RPC_MESSAGE message{};
    message.Handle = portrpc_binding;
    message.RpcInterfaceInformation = portrpc_v1_0_c_ifspec;
    message.ProcNum = 0;
    message.DataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
    message.BufferLength = static_cast<unsigned>(request.size());
    RPC_STATUS status = I_RpcGetBuffer(&message);
    if (status != RPC_S_OK) return status;
    if (!request.empty()) memcpy(message.Buffer, request.data(), request.size());
    status = I_RpcSendReceive(&message);
    if (status == RPC_S_OK) {
        const BYTE* body = static_cast<const BYTE*>(message.Buffer);
        reply->assign(body, body + message.BufferLength);
    }
    // Freed whatever the exchange gave, as generated stubs do: after a fault the server
    // can recover from (1783), the message still holds its connection, and the server a
    // thread for it.
    I_RpcFreeBuffer(&message);
    return status;
}

}  // namespace rpctest
