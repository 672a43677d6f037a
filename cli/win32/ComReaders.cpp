#include "ComReaders.h"

#include <objbase.h>


namespace cli {

namespace {

// The real file system, holding COM on its thread for as long as it lives.
class CComScanFileSystem : public CWideScanFileSystem {
public:
    explicit CComScanFileSystem(CReadContext* context) : CWideScanFileSystem(context) {}
    ~CComScanFileSystem() override
    {
        ReleaseLinkMaker();  // it belongs to this thread's apartment
        ::CoUninitialize();
    }
    CComScanFileSystem(const CComScanFileSystem&) = delete;
    CComScanFileSystem& operator=(const CComScanFileSystem&) = delete;
};

}  // namespace

std::unique_ptr<scan::ScanFileSystem> CComReaders::Make()
{
    if (FAILED(::CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
        return nullptr;
    try {
        return std::make_unique<CComScanFileSystem>(m_context);
    } catch (...) {
        ::CoUninitialize();
        throw;
    }
}

}  // namespace cli
