#include "spoolerprinter.h"

#include <winspool.h>

#include "installedmonitor.h"

namespace testing_support {

namespace {

const wchar_t kDriver[] = L"lanport test driver";

DWORD addDriver()
{
    std::wstring file = SystemFile(L"wineps.drv");
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(kDriver);
    driver.pDriverPath = file.data();
    driver.pDataFile = file.data();
    driver.pConfigFile = file.data();
    if (AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_ALL_FILES | APD_COPY_FROM_DIRECTORY))
        return ERROR_SUCCESS;
    DWORD error = GetLastError();
    return error == ERROR_PRINTER_DRIVER_ALREADY_INSTALLED ? ERROR_SUCCESS : error;
}

}  // namespace

void SpoolerPrinter::remove()
{
    if (!handle_) return;
    DeletePrinter(handle_);
    ClosePrinter(handle_);
    handle_ = nullptr;
}

void SpoolerPrinter::keep()
{
    if (handle_) ClosePrinter(handle_);
    handle_ = nullptr;
}

DWORD SpoolerPrinter::add(const std::wstring& name, const std::wstring& port)
{
    if (DWORD error = addDriver()) return error;
    std::wstring printerName = name, portName = port;
    PRINTER_INFO_2W info{};
    info.pPrinterName = printerName.data();
    info.pPortName = portName.data();
    info.pDriverName = const_cast<LPWSTR>(kDriver);
    info.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    info.pDatatype = const_cast<LPWSTR>(L"RAW");
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    handle_ = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    return handle_ ? ERROR_SUCCESS : GetLastError();
}

bool SpoolerPrinter::printRaw(std::string_view data, const wchar_t* document) const
{
    DOC_INFO_1W doc{const_cast<LPWSTR>(document), nullptr, const_cast<LPWSTR>(L"RAW")};
    if (!StartDocPrinterW(handle_, 1, reinterpret_cast<BYTE*>(&doc))) return false;
    DWORD written = 0;
    if (!WritePrinter(handle_, const_cast<char*>(data.data()), static_cast<DWORD>(data.size()), &written)) {
        DWORD error = GetLastError();
        EndDocPrinter(handle_);
        SetLastError(error);
        return false;
    }
    if (!EndDocPrinter(handle_)) return false;
    if (written == data.size()) return true;
    SetLastError(ERROR_WRITE_FAULT);
    return false;
}

}  // namespace testing_support
