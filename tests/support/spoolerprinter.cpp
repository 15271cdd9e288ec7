// A local printer on a given port (see spoolerprinter.h).
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

void DeleteRawPrinter(HANDLE printer)
{
    if (!printer) return;
    DeletePrinter(printer);
    ClosePrinter(printer);
}

}  // namespace testing_support
