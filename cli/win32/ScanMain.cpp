// veltmor-scan: the dialog's scan from a command line, for scripts and
// machines without a display. It only reads shortcuts.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "ComReaders.h"
#include "cli/ScanCommand.h"
#include "Win32FileTimes.h"
#include "Win32Mover.h"
#include "Win32ScanHost.h"
#include "Win32SuggestSource.h"
#include "Win32Trust.h"
#include "ShellRetargeter.h"
#include "framework/ProcessHardening.h"
#include "scan/Win32Text.h"

namespace {

// COM on this thread for the shell link service, for the life of main.
class CComApartment {
public:
    CComApartment() : m_result(::CoInitialize(NULL)) {}
    ~CComApartment()
    {
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};

// The arguments as UTF-8, read from the wide command line: the ANSI one
// has already lost every character the code page cannot spell.
std::vector<std::string> Arguments()
{
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(scan::Narrow(wide[i], CP_UTF8));
    ::LocalFree(wide);
    return args;
}

}  // namespace

int main()
{
    AfxHardenProcess();
    cli::CWin32ScanHost host;
    try {
        const std::vector<std::string> args = Arguments();
        const CComApartment com;
        if (FAILED(com.Result())) {
            char problem[64];
            std::snprintf(problem, sizeof problem, "veltmor-scan: cannot start COM (0x%08lx)",
                          static_cast<unsigned long>(com.Result()));
            host.WriteError(problem);
            return cli::kExitRefused;
        }
        // No window: the shell link service may show no UI (SLR_NO_UI) anyway.
        cli::CWideScanFileSystem fileSystem(&host.Context());
        cli::CWin32Mover mover;
        cli::CComReaders readers(&host.Context());
        cli::CScanCommand command(fileSystem, host);
        command.SetReaders(readers);
        command.SetMover(mover);
        cli::CWin32SuggestSource suggest;
        command.SetSuggestSource(suggest);
        cli::CShellRetargeter retargeter;
        command.SetRetargeter(retargeter);
        cli::CWin32SecurityReader security;
        command.SetSecurityReader(security);
        cli::CWin32FileTimes times;
        command.SetFileTimes(times);
        return command.Run(args);
    } catch (const std::exception& e) {
        host.WriteError(std::string("veltmor-scan: ") + e.what());
        return cli::kExitRefused;
    }
}
