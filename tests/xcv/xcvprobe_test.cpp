// Every XCV command with buffers of every size from 0 to 2,000 bytes, each ending right
// before an inaccessible page, the input read-only: the monitor must neither read nor
// write outside what it is given, and must answer only its documented statuses.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "monitorfixture.h"
#include "records.h"
#include "sehguard.h"

using namespace testing_support;

namespace {

constexpr DWORD kMaxProbe = 2000;
constexpr DWORD kNeededUntouched = 0xfeedf00d;
constexpr BYTE kCanary = 0xA5;

const wchar_t kRealPort[] = L"Zephrin:10.7.0.1";
const DWORD kRealAddress = 10u | 7u << 8 | 0u << 16 | 1u << 24;
const wchar_t kFreeAddress[] = L"10.7.0.9";
constexpr DWORD kMonitorUiSize = sizeof(L"lanportui.dll");

// A buffer of up to `capacity` bytes whose last byte is followed by a PAGE_NOACCESS page.
class GuardedBuffer {
public:
    explicit GuardedBuffer(DWORD capacity)
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        usable_ = (capacity + page_ - 1) / page_ * page_;
        if (usable_ == 0) usable_ = page_;
        base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, usable_ + page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        if (base_) VirtualProtect(base_ + usable_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer()
    {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    bool valid() const { return base_ != nullptr; }

    // `size` bytes that end at the guard page, filled with `bytes` (cut or padded with
    // zeros); everything before them is the canary. A read-only buffer faults on writes.
    BYTE* place(const std::vector<BYTE>& bytes, DWORD size, bool readOnly)
    {
        DWORD old;
        VirtualProtect(base_, usable_, PAGE_READWRITE, &old);
        memset(base_, kCanary, usable_);
        BYTE* data = base_ + usable_ - size;
        for (DWORD i = 0; i < size; ++i) data[i] = i < bytes.size() ? bytes[i] : 0;
        if (readOnly) VirtualProtect(base_, usable_, PAGE_READONLY, &old);
        size_ = size;
        return data;
    }

    // Nothing was written before the buffer.
    bool canaryIntact() const
    {
        const BYTE* end = base_ + usable_ - size_;
        for (const BYTE* p = base_; p < end; ++p)
            if (*p != kCanary) return false;
        return true;
    }

    const BYTE* data() const { return base_ + usable_ - size_; }

private:
    BYTE* base_ = nullptr;
    DWORD page_ = 4096;
    DWORD usable_ = 0;
    DWORD size_ = 0;
};

std::vector<BYTE> bytesOf(const void* data, size_t size)
{
    const auto* p = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(p, p + size);
}

std::vector<BYTE> nameBytes(const std::wstring& name, size_t size = 0)
{
    std::vector<BYTE> bytes = bytesOf(name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    if (size > bytes.size()) bytes.resize(size, 0);
    return bytes;
}

// One command as the probe sends it.
struct Command {
    const wchar_t* name;
    std::set<DWORD> statuses;  // every status it may answer
    DWORD neededInput;         // the size of a well-formed request (0: not read)
    DWORD neededOutput;        // the size of the reply
    bool writesNeeded;         // the command reports a needed size
};

class XcvProbeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        started_ = std::chrono::steady_clock::now();
        monitor = StartMonitor(root.key());
        ASSERT_NE(monitor, nullptr);
        ASSERT_TRUE(input.valid() && output.valid());
        AddPortRequest request{};
        wcscpy(request.portName, kRealPort);
        request.configInfo = DefaultConfig("10.7.0.1");
        AddPortReply reply{};
        ASSERT_EQ(call(L"AddPort", &request, sizeof request, &reply, sizeof reply), ERROR_SUCCESS);
    }
    void TearDown() override
    {
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - started_;
        printf("%lu calls in %.1f s\n", static_cast<unsigned long>(calls_), took.count());
    }

    DWORD call(LPCWSTR command, const void* in, DWORD cbIn, void* out, DWORD cbOut, DWORD* needed = nullptr)
    {
        DWORD ignored = 0;
        return monitor->pfnXcvDataPort(reinterpret_cast<HANDLE>(1), command, static_cast<PBYTE>(const_cast<void*>(in)),
                                       cbIn, static_cast<PBYTE>(out), cbOut, needed ? needed : &ignored);
    }

    // One probe: the input's bytes placed read-only before a guard page, the output's
    // likewise but writable. Fails the test on an exception, an undocumented status, a
    // write before the output, or a needed size written by a command that has none.
    DWORD probe(const Command& command, const std::vector<BYTE>& in, DWORD cbIn, const std::vector<BYTE>& out,
                DWORD cbOut, bool nullIn = false, bool nullOut = false)
    {
        ++calls_;
        BYTE* inData = input.place(in, cbIn, true);
        BYTE* outData = output.place(out, cbOut, false);
        DWORD needed = kNeededUntouched;
        DWORD status = kNeededUntouched;
        DWORD code = 0;
        bool raised = SehTry(
            [&] {
                status = monitor->pfnXcvDataPort(reinterpret_cast<HANDLE>(1), command.name, nullIn ? nullptr : inData,
                                                 cbIn, nullOut ? nullptr : outData, cbOut, &needed);
            },
            &code);
        std::string where = std::string(command.name, command.name + wcslen(command.name)) +
                            " cbIn=" + std::to_string(cbIn) + (nullIn ? " (NULL)" : "") +
                            " cbOut=" + std::to_string(cbOut) + (nullOut ? " (NULL)" : "");
        EXPECT_FALSE(raised) << where << ": exception " << std::hex << code;
        if (raised) return status;
        EXPECT_TRUE(command.statuses.count(status)) << where << ": status " << status;
        EXPECT_TRUE(output.canaryIntact()) << where << ": written before the output";
        if (!command.writesNeeded) {
            EXPECT_EQ(needed, kNeededUntouched) << where;
        }
        return status;
    }

    std::vector<BYTE> randomBytes(std::mt19937& random, size_t size)
    {
        std::vector<BYTE> bytes(size);
        for (BYTE& b : bytes) b = static_cast<BYTE>(random());
        return bytes;
    }

    // A random VerPortAddr request never asks for a host name lookup: the tests talk to
    // no name server.
    static std::vector<BYTE> withoutLookup(const Command& command, std::vector<BYTE> bytes)
    {
        constexpr size_t at = offsetof(VerPortAddrRequest, addrFormat);
        if (wcscmp(command.name, L"VerPortAddr") != 0 || bytes.size() < at + sizeof(DWORD)) return bytes;
        DWORD format;
        memcpy(&format, bytes.data() + at, sizeof format);
        if (format == 4 || format == 8) bytes[at] = 1;
        return bytes;
    }

    // Random characters without a NUL, then one NUL at a random place (sometimes the
    // last that fits), so that the commands get past their first checks.
    std::vector<BYTE> randomText(std::mt19937& random, size_t size)
    {
        std::vector<BYTE> bytes = randomBytes(random, size);
        size_t chars = size / sizeof(WCHAR);
        for (size_t i = 0; i < chars; ++i)
            if (bytes[2 * i] == 0 && bytes[2 * i + 1] == 0) bytes[2 * i] = 'x';
        if (chars > 0) {
            size_t at = random() % 4 == 0 ? chars - 1 : random() % chars;
            bytes[2 * at] = bytes[2 * at + 1] = 0;
        }
        return bytes;
    }

    // Input sizes 0..2,000 with a well-sized output, then output sizes 0..2,000 with a
    // well-formed input, then random pairs and NULL buffers.
    void sweep(const Command& command, const std::vector<BYTE>& goodInput, std::mt19937::result_type seed,
               DWORD (*expectedForOutput)(const Command&, DWORD cbOut))
    {
        std::mt19937 random(seed);
        std::vector<BYTE> goodOutput(command.neededOutput, 0);
        for (DWORD cbIn = 0; cbIn <= kMaxProbe; ++cbIn) {
            probe(command, withoutLookup(command, randomBytes(random, cbIn)), cbIn, goodOutput,
                  command.neededOutput);
            probe(command, withoutLookup(command, randomText(random, cbIn)), cbIn,
                  randomBytes(random, command.neededOutput), command.neededOutput);
        }
        for (DWORD cbOut = 0; cbOut <= kMaxProbe; ++cbOut) {
            DWORD cbIn = command.neededInput ? command.neededInput : static_cast<DWORD>(goodInput.size());
            DWORD status = probe(command, freshInput(command, goodInput), cbIn, randomBytes(random, cbOut), cbOut);
            if (expectedForOutput) {
                EXPECT_EQ(status, expectedForOutput(command, cbOut)) << "cbOut=" << cbOut;
            }
        }
        for (int i = 0; i < 300; ++i) {
            DWORD cbIn = random() % (kMaxProbe + 1), cbOut = random() % (kMaxProbe + 1);
            probe(command, withoutLookup(command, randomText(random, cbIn)), cbIn, randomBytes(random, cbOut), cbOut);
        }
        DWORD sizes[] = {0, command.neededInput, command.neededOutput, 4};
        for (DWORD size : sizes) {
            probe(command, goodInput, size, goodOutput, command.neededOutput, true, false);
            probe(command, goodInput, command.neededInput, goodOutput, size, false, true);
            probe(command, goodInput, size, goodOutput, size, true, true);
        }
    }

    // AddPort needs a new name for each request that may succeed.
    std::vector<BYTE> freshInput(const Command& command, const std::vector<BYTE>& goodInput)
    {
        if (wcscmp(command.name, L"AddPort") != 0) return goodInput;
        AddPortRequest request;
        memcpy(&request, goodInput.data(), sizeof request);
        swprintf(request.portName, 256, L"Zephrin:probe%lu", static_cast<unsigned long>(++fresh_));
        request.configInfo.ipAddress = 10u | 8u << 8 | (fresh_ >> 8 & 255) << 16 | (fresh_ & 255) << 24;
        return bytesOf(&request, sizeof request);
    }

    // Exact-size replies: the exact size works, any other is a bad parameter.
    static DWORD exactReply(const Command& command, DWORD cbOut)
    {
        return cbOut == command.neededOutput ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    }
    // Minimum-size replies: smaller is too small, the size or more works.
    static DWORD minimumReply(const Command& command, DWORD cbOut)
    {
        return cbOut < command.neededOutput ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS;
    }

    RegistryRoot root;
    LPMONITOR2 monitor = nullptr;
    GuardedBuffer input{kMaxProbe};
    GuardedBuffer output{kMaxProbe};

private:
    std::chrono::steady_clock::time_point started_;
    unsigned long calls_ = 0;
    DWORD fresh_ = 0;
};

// Statuses of the command table, with 87 and 122 of the size checks.
const Command kMonitorUI{L"MonitorUI", {0, 122}, 0, kMonitorUiSize, true};
const Command kAddPort{L"AddPort", {0, 31, 87}, sizeof(AddPortRequest), sizeof(AddPortReply), false};
const Command kDeletePort{L"DeletePort", {0, 87, 1796}, 0, 0, false};
const Command kVerPortAddr{L"VerPortAddr", {0, 31, 87, 122}, sizeof(VerPortAddrRequest), sizeof(VerPortAddrReply),
                           false};
const Command kVerPortName{L"VerPortName", {0, 31, 87, 122, 183}, 0, sizeof(DWORD), false};
const Command kUpdPortComm{L"UpdPortComm", {0, 31, 87, 1796}, sizeof(UpdPortCommRequest), sizeof(DWORD), false};
const Command kGetCommAccess{L"GetCommAccess", {0, 87, 1796}, kGetCommAccessMinInput, sizeof(GetCommAccessReply),
                             false};
const Command kGetPortConfig{L"GetPortConfig", {0, 31, 87}, 0, sizeof(GetPortConfigReply), false};
const Command kCfgPort{L"CfgPort", {0, 31, 87, 1796}, sizeof(CfgPortRequest), sizeof(DWORD), false};
const Command kGetPortName{L"GetPortName", {0, 87, 122, 1796}, sizeof(GetPortNameRequest),
                           sizeof(kRealPort), true};
const Command kGetPortStatus{L"GetPortStatus", {0, 87, 122, 1796}, sizeof(GetPortStatusRequest),
                             sizeof(GetPortStatusReply), true};

std::vector<BYTE> goodAddPort()
{
    AddPortRequest request{};
    wcscpy(request.portName, L"Zephrin:probe");
    request.configInfo = DefaultConfig("10.8.0.0");
    return bytesOf(&request, sizeof request);
}

std::vector<BYTE> goodVerPortAddr()
{
    VerPortAddrRequest request{};
    wcscpy(request.addressText, kFreeAddress);
    request.addrFormat = 2;
    return bytesOf(&request, sizeof request);
}

std::vector<BYTE> goodUpdPortComm()
{
    UpdPortCommRequest request{};
    request.ipAddress = kRealAddress;
    wcscpy(request.community, L"kestro_gauge");
    return bytesOf(&request, sizeof request);
}

std::vector<BYTE> goodCfgPort()
{
    CfgPortRequest request{};
    wcscpy(request.portName, kRealPort);
    request.configInfo = DefaultConfig("10.7.0.1");
    return bytesOf(&request, sizeof request);
}

std::vector<BYTE> statusRequest(const std::wstring& name)
{
    GetPortStatusRequest request{};
    wcsncpy(request.portName, name.c_str(), std::size(request.portName));
    return bytesOf(&request, sizeof request);
}

std::vector<BYTE> goodGetPortName()
{
    GetPortNameRequest request{kRealAddress};
    return bytesOf(&request, sizeof request);
}

}  // namespace

TEST_F(XcvProbeTest, TheProbeSeesReadsPastTheEndAndWritesToTheInput)
{
    std::vector<BYTE> bytes(16, 1);
    BYTE* in = input.place(bytes, 16, true);
    DWORD code = 0;
    volatile BYTE sink = 0;
    EXPECT_FALSE(SehTry([&] { sink = in[15]; }, &code));
    EXPECT_TRUE(SehTry([&] { sink = in[16]; }, &code));
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_TRUE(SehTry([&] { in[0] = sink; }, &code));
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    BYTE* out = output.place(bytes, 0, false);
    EXPECT_TRUE(SehTry([&] { out[0] = 0; }, &code)) << "a zero-size buffer has no byte";
    out = output.place(bytes, 8, false);
    out[-1] = 0;
    EXPECT_FALSE(output.canaryIntact());
}

TEST_F(XcvProbeTest, MonitorUIStaysInItsBuffers)
{
    sweep(kMonitorUI, {}, 1, minimumReply);
    std::vector<BYTE> none;
    EXPECT_EQ(probe(kMonitorUI, none, 0, none, 27), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(probe(kMonitorUI, none, 0, none, 28), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<const WCHAR*>(output.data()), L"lanportui.dll");
}

TEST_F(XcvProbeTest, AddPortStaysInItsBuffers)
{
    sweep(kAddPort, goodAddPort(), 2, exactReply);
    std::vector<BYTE> reply(8, 0);
    std::vector<BYTE> request = freshInput(kAddPort, goodAddPort());
    EXPECT_EQ(probe(kAddPort, request, sizeof(AddPortRequest) - 1, reply, 8), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kAddPort, request, sizeof(AddPortRequest) + 1, reply, 8), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kAddPort, request, sizeof(AddPortRequest), reply, 8), ERROR_SUCCESS);
    // The name's NUL at the last place of its field; none within it.
    AddPortRequest full;
    memcpy(&full, request.data(), sizeof full);
    for (int i = 0; i < 255; ++i) full.portName[i] = L'f';
    full.portName[255] = L'\0';
    EXPECT_EQ(probe(kAddPort, bytesOf(&full, sizeof full), sizeof full, reply, 8), ERROR_INVALID_PARAMETER)
        << "longer than 128 characters";
    full.portName[255] = L'f';
    EXPECT_EQ(probe(kAddPort, bytesOf(&full, sizeof full), sizeof full, reply, 8), ERROR_INVALID_PARAMETER);
    for (int i = 128; i < 256; ++i) full.portName[i] = L'\0';
    EXPECT_EQ(probe(kAddPort, bytesOf(&full, sizeof full), sizeof full, reply, 8), ERROR_SUCCESS) << "128 fit";
}

TEST_F(XcvProbeTest, DeletePortStaysInItsBuffers)
{
    sweep(kDeletePort, nameBytes(L"Zephrin:absent"), 3,
          [](const Command&, DWORD) { return static_cast<DWORD>(ERROR_UNKNOWN_PORT); });
    std::vector<BYTE> none;
    std::vector<BYTE> real = nameBytes(kRealPort);
    DWORD size = static_cast<DWORD>(real.size());
    EXPECT_EQ(probe(kDeletePort, real, size - 1, none, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kDeletePort, real, size - 2, none, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kDeletePort, real, size + 1, none, 0), ERROR_SUCCESS);
    EXPECT_FALSE(PortKeyExists(root.key(), kRealPort));
    EXPECT_EQ(probe(kDeletePort, real, size, none, 0), ERROR_UNKNOWN_PORT);
}

TEST_F(XcvProbeTest, VerPortAddrStaysInItsBuffers)
{
    sweep(kVerPortAddr, goodVerPortAddr(), 4, minimumReply);
    std::vector<BYTE> request = goodVerPortAddr();
    std::vector<BYTE> reply(sizeof(VerPortAddrReply), 0);
    EXPECT_EQ(probe(kVerPortAddr, request, sizeof(VerPortAddrRequest) - 1, reply, 40), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kVerPortAddr, request, sizeof(VerPortAddrRequest), reply, 40), ERROR_SUCCESS);
    EXPECT_EQ(probe(kVerPortAddr, request, sizeof(VerPortAddrRequest) + 1, reply, 40), ERROR_SUCCESS);
    // The address text's NUL at the last place of its field: 129 characters, no address.
    VerPortAddrRequest full;
    for (WCHAR& c : full.addressText) c = L'1';
    full.addressText[129] = L'\0';
    full.addrFormat = 2;
    EXPECT_EQ(probe(kVerPortAddr, bytesOf(&full, sizeof full), sizeof full, reply, 40), ERROR_GEN_FAILURE);
    VerPortAddrReply answer;
    memcpy(&answer, output.data(), sizeof answer);
    EXPECT_EQ(answer.errRc, kErrRcBadAddress);
    full.addressText[129] = L'1';
    EXPECT_EQ(probe(kVerPortAddr, bytesOf(&full, sizeof full), sizeof full, reply, 40), ERROR_INVALID_PARAMETER);
    // 15 characters is the longest dotted address; 16 is refused.
    VerPortAddrRequest longest{};
    wcscpy(longest.addressText, L"10.100.100.100");
    longest.addrFormat = 2;
    EXPECT_EQ(probe(kVerPortAddr, bytesOf(&longest, sizeof longest), sizeof longest, reply, 40), ERROR_SUCCESS);
    wcscpy(longest.addressText, L"010.100.100.100");
    EXPECT_EQ(probe(kVerPortAddr, bytesOf(&longest, sizeof longest), sizeof longest, reply, 40), ERROR_SUCCESS);
    memcpy(&answer, output.data(), sizeof answer);
    EXPECT_STREQ(answer.dottedAddress, L"010.100.100.100");
    wcscpy(longest.addressText, L"0010.100.100.100");
    EXPECT_EQ(probe(kVerPortAddr, bytesOf(&longest, sizeof longest), sizeof longest, reply, 40), ERROR_GEN_FAILURE);
    memcpy(&answer, output.data(), sizeof answer);
    EXPECT_EQ(answer.errRc, kErrRcBadAddress);
}

TEST_F(XcvProbeTest, VerPortNameStaysInItsBuffers)
{
    sweep(kVerPortName, nameBytes(L"Zephrin:free"), 5, minimumReply);
    std::vector<BYTE> reply(4, 0);
    std::vector<BYTE> name = nameBytes(L"Zephrin:free");
    DWORD size = static_cast<DWORD>(name.size());
    EXPECT_EQ(probe(kVerPortName, name, size - 1, reply, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kVerPortName, name, size, reply, 4), ERROR_SUCCESS);
    EXPECT_EQ(probe(kVerPortName, name, size + 1, reply, 4), ERROR_SUCCESS);
    // A port of this monitor that the spooler does not know (this monitor is not
    // registered with it): 31 with errRc 61, in any case.
    std::vector<BYTE> real = nameBytes(L"ZEPHRIN:10.7.0.1");
    EXPECT_EQ(probe(kVerPortName, real, static_cast<DWORD>(real.size()), reply, 4), ERROR_GEN_FAILURE);
    DWORD errRc = 0;
    memcpy(&errRc, output.data(), sizeof errRc);
    EXPECT_EQ(errRc, kErrRcNameUsed);
    // The NUL in the last character of the input, after the longest usable name.
    std::vector<BYTE> full = nameBytes(std::wstring(128, L'n'));
    DWORD fullSize = static_cast<DWORD>(full.size());
    EXPECT_EQ(probe(kVerPortName, full, fullSize, reply, 4), ERROR_SUCCESS);
    EXPECT_EQ(probe(kVerPortName, full, fullSize - 1, reply, 4), ERROR_INVALID_PARAMETER);
    full = nameBytes(std::wstring(129, L'n'));
    EXPECT_EQ(probe(kVerPortName, full, static_cast<DWORD>(full.size()), reply, 4), ERROR_INVALID_PARAMETER);
}

TEST_F(XcvProbeTest, UpdPortCommStaysInItsBuffers)
{
    sweep(kUpdPortComm, goodUpdPortComm(), 6, exactReply);
    std::vector<BYTE> reply(4, 0);
    std::vector<BYTE> request = goodUpdPortComm();
    EXPECT_EQ(probe(kUpdPortComm, request, sizeof(UpdPortCommRequest) - 1, reply, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kUpdPortComm, request, sizeof(UpdPortCommRequest) + 1, reply, 4), ERROR_INVALID_PARAMETER);
    UpdPortCommRequest full;
    full.ipAddress = kRealAddress;
    for (WCHAR& c : full.community) c = L'c';
    full.community[255] = L'\0';
    EXPECT_EQ(probe(kUpdPortComm, bytesOf(&full, sizeof full), sizeof full, reply, 4), ERROR_SUCCESS);
    full.community[255] = L'c';
    EXPECT_EQ(probe(kUpdPortComm, bytesOf(&full, sizeof full), sizeof full, reply, 4), ERROR_INVALID_PARAMETER);
}

TEST_F(XcvProbeTest, GetCommAccessStaysInItsBuffers)
{
    sweep(kGetCommAccess, nameBytes(kRealPort, kGetCommAccessMinInput), 7, exactReply);
    std::vector<BYTE> reply(sizeof(GetCommAccessReply), 0);
    std::vector<BYTE> request = nameBytes(kRealPort, kGetCommAccessMinInput + 2);
    EXPECT_EQ(probe(kGetCommAccess, request, kGetCommAccessMinInput - 1, reply, 520), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kGetCommAccess, request, kGetCommAccessMinInput, reply, 520), ERROR_SUCCESS);
    EXPECT_EQ(probe(kGetCommAccess, request, kGetCommAccessMinInput + 1, reply, 520), ERROR_SUCCESS);
    // The longest usable name is looked up; a name whose NUL is the last character of
    // the minimum input is longer than any port name, and one without a NUL has no end.
    std::vector<BYTE> longest = nameBytes(std::wstring(128, L'g'), kGetCommAccessMinInput);
    EXPECT_EQ(probe(kGetCommAccess, longest, kGetCommAccessMinInput, reply, 520), ERROR_UNKNOWN_PORT);
    std::vector<BYTE> full(kGetCommAccessMinInput, 'g');
    full[kGetCommAccessMinInput - 2] = full[kGetCommAccessMinInput - 1] = 0;
    EXPECT_EQ(probe(kGetCommAccess, full, kGetCommAccessMinInput, reply, 520), ERROR_INVALID_PARAMETER);
    full[kGetCommAccessMinInput - 1] = 'g';
    EXPECT_EQ(probe(kGetCommAccess, full, kGetCommAccessMinInput, reply, 520), ERROR_INVALID_PARAMETER);
}

TEST_F(XcvProbeTest, GetPortConfigStaysInItsBuffers)
{
    sweep(kGetPortConfig, nameBytes(kRealPort), 8, exactReply);
    std::vector<BYTE> reply(sizeof(GetPortConfigReply), 0);
    std::vector<BYTE> name = nameBytes(kRealPort);
    DWORD size = static_cast<DWORD>(name.size());
    EXPECT_EQ(probe(kGetPortConfig, name, size - 1, reply, 580), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kGetPortConfig, name, size, reply, 580), ERROR_SUCCESS);
    EXPECT_EQ(probe(kGetPortConfig, name, size + 1, reply, 580), ERROR_SUCCESS);
    // 128 characters with the NUL last in the input: looked up; longer names: refused.
    std::vector<BYTE> full = nameBytes(std::wstring(128, L'p'));
    EXPECT_EQ(probe(kGetPortConfig, full, static_cast<DWORD>(full.size()), reply, 580), ERROR_GEN_FAILURE);
    full = nameBytes(std::wstring(129, L'p'));
    EXPECT_EQ(probe(kGetPortConfig, full, static_cast<DWORD>(full.size()), reply, 580), ERROR_INVALID_PARAMETER);
    full = nameBytes(std::wstring(130, L'p'));
    EXPECT_EQ(probe(kGetPortConfig, full, static_cast<DWORD>(full.size()), reply, 580), ERROR_INVALID_PARAMETER);
}

TEST_F(XcvProbeTest, CfgPortStaysInItsBuffers)
{
    sweep(kCfgPort, goodCfgPort(), 9, exactReply);
    std::vector<BYTE> reply(4, 0);
    std::vector<BYTE> request = goodCfgPort();
    EXPECT_EQ(probe(kCfgPort, request, sizeof(CfgPortRequest) - 1, reply, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kCfgPort, request, sizeof(CfgPortRequest) + 1, reply, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kCfgPort, request, sizeof(CfgPortRequest), reply, 4), ERROR_SUCCESS);
    CfgPortRequest full;
    memcpy(&full, request.data(), sizeof full);
    for (WCHAR& c : full.portName) c = L'q';
    full.portName[128] = L'\0';
    EXPECT_EQ(probe(kCfgPort, bytesOf(&full, sizeof full), sizeof full, reply, 4), ERROR_GEN_FAILURE)
        << "no such key";
    full.portName[128] = L'q';
    full.portName[129] = L'\0';
    EXPECT_EQ(probe(kCfgPort, bytesOf(&full, sizeof full), sizeof full, reply, 4), ERROR_INVALID_PARAMETER)
        << "longer than 128 characters";
    full.portName[129] = L'q';
    EXPECT_EQ(probe(kCfgPort, bytesOf(&full, sizeof full), sizeof full, reply, 4), ERROR_INVALID_PARAMETER);
}

TEST_F(XcvProbeTest, GetPortNameStaysInItsBuffers)
{
    sweep(kGetPortName, goodGetPortName(), 10, minimumReply);
    std::vector<BYTE> request = goodGetPortName();
    std::vector<BYTE> reply(kMaxProbe, 0);
    const DWORD size = sizeof(kRealPort);
    DWORD needed = 0;
    EXPECT_EQ(probe(kGetPortName, request, 3, reply, size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kGetPortName, request, 5, reply, size), ERROR_SUCCESS);
    EXPECT_EQ(call(L"GetPortName", request.data(), 4, reply.data(), size - 1, &needed), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, size);
    EXPECT_EQ(probe(kGetPortName, request, 4, reply, size), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<const WCHAR*>(output.data()), kRealPort);
    // No port at the address: an empty name where one character fits, nothing otherwise.
    GetPortNameRequest unknown{kRealAddress + (1u << 24)};
    EXPECT_EQ(probe(kGetPortName, bytesOf(&unknown, 4), 4, reply, 1), ERROR_UNKNOWN_PORT);
    EXPECT_EQ(probe(kGetPortName, bytesOf(&unknown, 4), 4, reply, 2), ERROR_UNKNOWN_PORT);
    EXPECT_EQ(*reinterpret_cast<const WCHAR*>(output.data()), L'\0');
}

TEST_F(XcvProbeTest, GetPortStatusStaysInItsBuffers)
{
    sweep(kGetPortStatus, statusRequest(kRealPort), 11, minimumReply);
    constexpr DWORD size = sizeof(GetPortStatusRequest);
    std::vector<BYTE> reply(sizeof(GetPortStatusReply), 0);
    std::vector<BYTE> request = statusRequest(kRealPort);
    request.resize(size + 1, 0);
    EXPECT_EQ(probe(kGetPortStatus, request, size - 1, reply, 40), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kGetPortStatus, request, size + 1, reply, 40), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(probe(kGetPortStatus, request, size, reply, 40), ERROR_SUCCESS);
    DWORD needed = 0;
    EXPECT_EQ(call(L"GetPortStatus", request.data(), size, reply.data(), 39, &needed), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, 40u);
    // The longest usable name is looked up; one character more, or no NUL, is refused.
    EXPECT_EQ(probe(kGetPortStatus, statusRequest(std::wstring(128, L's')), size, reply, 40), ERROR_UNKNOWN_PORT);
    GetPortStatusReply answer;
    memcpy(&answer, output.data(), sizeof answer);
    EXPECT_EQ(answer.errRc, kErrRcPortNotFound);
    EXPECT_EQ(probe(kGetPortStatus, statusRequest(std::wstring(129, L's')), size, reply, 40), ERROR_INVALID_PARAMETER);
    memcpy(&answer, output.data(), sizeof answer);
    EXPECT_EQ(answer.errRc, kErrRcGeneral);
    EXPECT_EQ(probe(kGetPortStatus, statusRequest(std::wstring(130, L's')), size, reply, 40), ERROR_INVALID_PARAMETER);
}

TEST_F(XcvProbeTest, CombinedBoundariesOfEveryCommand)
{
    struct Case {
        const Command* command;
        std::vector<BYTE> input;
    };
    std::vector<Case> cases{{&kAddPort, goodAddPort()},          {&kVerPortAddr, goodVerPortAddr()},
                            {&kVerPortName, nameBytes(L"Zephrin:x")}, {&kUpdPortComm, goodUpdPortComm()},
                            {&kGetCommAccess, nameBytes(kRealPort, 772)}, {&kGetPortConfig, nameBytes(kRealPort)},
                            {&kCfgPort, goodCfgPort()},          {&kGetPortName, goodGetPortName()},
                            {&kGetPortStatus, statusRequest(kRealPort)}};
    for (const Case& c : cases) {
        DWORD in = c.command->neededInput ? c.command->neededInput : static_cast<DWORD>(c.input.size());
        DWORD out = c.command->neededOutput;
        for (DWORD cbIn : {in - 1, in, in + 1})
            for (DWORD cbOut : {out - 1, out, out + 1})
                probe(*c.command, freshInput(*c.command, c.input), cbIn, std::vector<BYTE>(cbOut, 0), cbOut);
    }
}
