// XCV commands sent to the monitor through its MONITOR2 table, on a private registry root.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitorfixture.h"
#include "records.h"
#include "test_seams.h"

namespace testing_support {

class XcvTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        monitor = StartMonitor(root.key());
        ASSERT_NE(monitor, nullptr);
    }
    void TearDown() override { testseams::Reset(); }

    DWORD xcv(LPCWSTR command, const void* in, DWORD cbIn, void* out, DWORD cbOut, DWORD* needed = nullptr)
    {
        DWORD ignored = 0xdeadbeef;
        return monitor->pfnXcvDataPort(reinterpret_cast<HANDLE>(1), command,
                                       static_cast<PBYTE>(const_cast<void*>(in)), cbIn,
                                       static_cast<PBYTE>(out), cbOut, needed ? needed : &ignored);
    }
    template <class Request, class Reply>
    DWORD xcv(LPCWSTR command, const Request& request, Reply& reply)
    {
        return xcv(command, &request, sizeof request, &reply, sizeof reply);
    }
    // A command whose input is a port name.
    template <class Reply>
    DWORD xcvName(LPCWSTR command, const std::wstring& name, Reply& reply, DWORD cbIn = 0)
    {
        std::vector<WCHAR> in(name.begin(), name.end());
        in.push_back(L'\0');
        DWORD size = static_cast<DWORD>(in.size() * sizeof(WCHAR));
        if (cbIn > size) in.resize((cbIn + 1) / sizeof(WCHAR));
        return xcv(command, in.data(), cbIn ? cbIn : size, &reply, sizeof reply);
    }

    VerPortAddrReply verifyAddress(const std::wstring& text, DWORD format, DWORD* status);
    DWORD addPort(const std::wstring& name, const char* dotted, DWORD* errRc = nullptr);
    std::vector<std::wstring> tablePorts();

    RegistryRoot root;
    LPMONITOR2 monitor = nullptr;
};

}  // namespace testing_support
