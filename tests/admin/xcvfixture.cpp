#include "xcvfixture.h"

#include <winspool.h>

#include <cwchar>

namespace testing_support {

VerPortAddrReply XcvTest::verifyAddress(const std::wstring& text, DWORD format, DWORD* status)
{
    VerPortAddrRequest request{};
    wcsncpy(request.addressText, text.c_str(), 129);
    request.addrFormat = format;
    VerPortAddrReply reply;
    memset(&reply, 0xCD, sizeof reply);
    *status = xcv(L"VerPortAddr", request, reply);
    return reply;
}

DWORD XcvTest::addPort(const std::wstring& name, const char* dotted, DWORD* errRc)
{
    AddPortRequest request{};
    wcsncpy(request.portName, name.c_str(), 255);
    request.configInfo = DefaultConfig(dotted);
    request.configInfo.monitorLevel = 7;
    AddPortReply reply{0xdeadbeef, 0xdeadbeef};
    DWORD status = xcv(L"AddPort", request, reply);
    if (errRc) *errRc = reply.errRc;
    return status;
}

std::vector<std::wstring> XcvTest::tablePorts()
{
    DWORD needed = 0, returned = 0;
    monitor->pfnEnumPorts(nullptr, nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed + 1);
    EXPECT_TRUE(monitor->pfnEnumPorts(nullptr, nullptr, 1, buffer.data(), needed, &needed, &returned));
    std::vector<std::wstring> names;
    auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) names.push_back(info[i].pName);
    return names;
}

}  // namespace testing_support
