// Prints one file through the spooler to a printer on the monitor's port.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <string>

#include "demotool.h"
#include "spoolerprinter.h"

namespace {

std::string narrow(const wchar_t* text)
{
    if (!text) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

bool readFile(const std::wstring& path, std::string* data)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 64 * 1024 * 1024;
    DWORD got = 0;
    if (ok) {
        data->resize(static_cast<size_t>(size.QuadPart));
        ok = ReadFile(file, data->data(), static_cast<DWORD>(data->size()), &got, nullptr) && got == data->size();
    }
    CloseHandle(file);
    return ok;
}

}  // namespace

int PrintFile(const std::wstring& printerName, const std::wstring& port, const std::wstring& file)
{
    std::string data;
    if (!readFile(file, &data)) {
        fprintf(stderr, "demotool: cannot read %s\n", narrow(file.c_str()).c_str());
        return 1;
    }
    // A printer that failed its job goes again with this process.
    testing_support::SpoolerPrinter printer;
    if (DWORD error = printer.add(printerName, port)) {
        fprintf(stderr, "demotool: cannot add printer \"%s\" on port %s (error %lu)\n",
                narrow(printerName.c_str()).c_str(), narrow(port.c_str()).c_str(), error);
        return 1;
    }
    printf("printer \"%s\" added on port %s\n", narrow(printerName.c_str()).c_str(), narrow(port.c_str()).c_str());

    DOC_INFO_1W doc{const_cast<LPWSTR>(L"lanport demo job"), nullptr, const_cast<LPWSTR>(L"RAW")};
    DWORD written = 0;
    DWORD jobId = StartDocPrinterW(printer.handle(), 1, reinterpret_cast<BYTE*>(&doc));
    if (!jobId) {
        fprintf(stderr, "demotool: StartDocPrinter failed (error %lu)\n", GetLastError());
        return 1;
    }
    printf("spooler: job %lu started\n", jobId);

    DWORD start = GetTickCount();
    bool ok = false;
    DWORD error = 0;
    {
        // Wine's spooler runs the job inside EndDocPrinter, on this thread; the watch
        // asks the monitor meanwhile, and has ended at the end of this block.
        StatusWatch watch(port);
        ok = WritePrinter(printer.handle(), data.data(), static_cast<DWORD>(data.size()), &written) && written == data.size();
        error = ok ? 0 : GetLastError();
        // Ends the document also after a failed write, so the spooler lets the job go.
        if (!EndDocPrinter(printer.handle()) && ok) {
            ok = false;
            error = GetLastError();
        }
    }
    if (!ok) {
        fprintf(stderr, "demotool: printing failed (error %lu)\n", error);
        return 1;
    }
    printf("job of %lu bytes handed to the spooler and printed in %.1f s\n", written,
           static_cast<double>(GetTickCount() - start) / 1000.0);
    // The monitor keeps the last job's status while the printer stays on its port.
    ShowPortStatus(port, "after the job");
    printer.keep();
    return 0;
}

int RemovePrinter(const std::wstring& printerName)
{
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName.c_str()), &printer, &access)) return 0;
    bool deleted = DeletePrinter(printer);
    DWORD error = GetLastError();
    ClosePrinter(printer);
    if (!deleted) {
        fprintf(stderr, "demotool: cannot delete printer \"%s\" (error %lu)\n", narrow(printerName.c_str()).c_str(),
                error);
        return 1;
    }
    return 0;
}
