// A local printer for RAW jobs (see spoolerprinter.h).
#include "spoolerprinter.h"

#include <winspool.h>

namespace testing_support {

namespace {

constexpr wchar_t kDriver[] = L"lanport test driver";

std::wstring SystemFile(const wchar_t* name)
{
    wchar_t dir[MAX_PATH] = L"";
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(dir) + L"\\" + name;
}

}  // namespace

HANDLE AddRawPrinter(const std::wstring& name, const std::wstring& port)
{
    std::wstring driverFile = SystemFile(L"wineps.drv");
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(kDriver);
    driver.pDriverPath = driverFile.data();
    driver.pDataFile = driverFile.data();
    driver.pConfigFile = driverFile.data();
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_ALL_FILES | APD_COPY_FROM_DIRECTORY) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
        return nullptr;

    PRINTER_INFO_2W info{};
    info.pPrinterName = const_cast<LPWSTR>(name.c_str());
    info.pPortName = const_cast<LPWSTR>(port.c_str());
    info.pDriverName = const_cast<LPWSTR>(kDriver);
    info.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    info.pDatatype = const_cast<LPWSTR>(L"RAW");
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    return AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
}

bool PrintRaw(HANDLE printer, const std::string& data)
{
    DOC_INFO_1W doc{const_cast<LPWSTR>(L"lanport test"), nullptr, const_cast<LPWSTR>(L"RAW")};
    if (!StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&doc))) return false;
    DWORD written = 0;
    bool wrote = WritePrinter(printer, const_cast<char*>(data.data()), static_cast<DWORD>(data.size()), &written) &&
                 written == data.size();
    // Ended also after a failed write, so that the spooler lets the job go.
    return EndDocPrinter(printer) && wrote;
}

void DeleteRawPrinter(HANDLE printer)
{
    if (!printer) return;
    DeletePrinter(printer);
    ClosePrinter(printer);
}

}  // namespace testing_support
