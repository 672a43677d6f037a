// veltmor-scan: the dialog's scan from a command line, for scripts and
// machines without a display. It only reads shortcuts.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "ComReaders.h"
#include "ScanCommand.h"
#include "Win32Mover.h"
#include "Win32ScanHost.h"
#include "framework/ProcessHardening.h"
#include "scan/Win32ScanFileSystem.h"

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

}  // namespace

int main(int argc, char** argv)
{
    AfxHardenProcess();
    cli::CWin32ScanHost host;
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const CComApartment com;
        if (FAILED(com.Result())) {
            char problem[64];
            std::snprintf(problem, sizeof problem, "veltmor-scan: cannot start COM (0x%08lx)",
                          static_cast<unsigned long>(com.Result()));
            host.WriteError(problem);
            return cli::kExitRefused;
        }
        // No window: the shell link service may show no UI (SLR_NO_UI) anyway.
        cli::CNotingScanFileSystem fileSystem(NULL, &host.Notes());
        cli::CWin32Mover mover;
        cli::CComReaders readers(&host.Notes());
        cli::CScanCommand command(fileSystem, host);
        command.SetReaders(readers);
        command.SetMover(mover);
        return command.Run(args);
    } catch (const std::exception& e) {
        host.WriteError(std::string("veltmor-scan: ") + e.what());
        return cli::kExitRefused;
    }
}
