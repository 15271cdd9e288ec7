// The installer tests' fixture.
#include "installerfixture.h"

#include <cstdlib>

#include "names.h"

namespace setup_tests {

const char kMonitorKey[] = LANPORT_MONITOR_KEY;
const char kPortsKey[] = LANPORT_MONITOR_KEY "\\Ports";

std::string Destination(const std::string& name)
{
    return std::string(getenv("WINDIR")) + "\\system32\\" + name;
}

Answer Success(std::function<void(HWND)> inspect)
{
    return {kQuestionCaption, kSuccessText, IDOK, std::move(inspect)};
}

Answer Reinstall(int button, std::function<void(HWND)> inspect)
{
    return {kQuestionCaption, kReinstallText, button, std::move(inspect)};
}

Answer Downgrade(int button)
{
    return {kQuestionCaption, kDowngradeText, button, nullptr};
}

ConfigInfo PortConfig(BYTE lastOctet)
{
    ConfigInfo config{};
    config.timeout = 300 + lastOctet;
    config.retryCount = 2;
    wcscpy(config.community, L"kestro_gauge");
    config.monitorFrequency = 2;
    config.monitorLevel = 1;
    config.ipAddress = 0x0000000A | (static_cast<DWORD>(lastOctet) << 24);  // 10.0.0.N
    config.addrFormat = 2;
    return config;
}

void WritePort(const std::string& name, const ConfigInfo& config)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kPortsKey) + "\\" + name).c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "configInfo", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&config), sizeof(config));
    RegCloseKey(key);
}

// The port's "configInfo" value, empty when the port's key or value is missing.
std::string ReadPortConfig(const std::string& name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kPortsKey) + "\\" + name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return {};
    std::string data(1024, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    LONG rc = RegQueryValueExA(key, "configInfo", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return {};
    data.resize(size);
    return data;
}

bool KeyExists(const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string RecordedVersion()
{
    std::string version;
    DWORD type = 0, size = 0;
    if (!ReadInstalledVersion(&version, &type, &size)) return {};
    return version.substr(0, version.find('\0'));
}

void InstallerTest::SetUp()
{
    netRecorder_ = InstallNetRecorder();
    StagePackage();
}

InstallerResult InstallerTest::Run(const std::vector<Answer>& answers, const std::string& arguments, DWORD exitCode,
                                   const std::string& path)
{
    InstallerResult result = RunInstaller(path, arguments, answers, netRecorder_);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exitCode, exitCode);
    return result;
}

void InstallerTest::ExpectStagingDirectoryRemoved()
{
    EXPECT_TRUE(WaitForCleanupScript(kCleanupWaitMs)) << "the clean-up script did not delete itself";
    EXPECT_FALSE(DirectoryExists(StagingPath("")));
}

void InstallerTest::ExpectNothingCopied()
{
    for (const std::string& name : kPackageFiles) EXPECT_FALSE(FileExists(SystemPath(name))) << name;
}

void InstallerTest::ExpectPackageInstalled()
{
    for (const std::string& name : kPackageFiles)
        EXPECT_EQ(ReadWholeFile(SystemPath(name)), ReadWholeFile(PackagePath(name))) << name;
    std::string version;
    DWORD type = 0, size = 0;
    ASSERT_TRUE(ReadInstalledVersion(&version, &type, &size));
    EXPECT_EQ(version, std::string("1.02", 5));
}

}  // namespace setup_tests
