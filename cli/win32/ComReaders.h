// The parallel scanner's reader file systems over the real Win32 calls.
#ifndef VELTMOR_CLI_COMREADERS_H
#define VELTMOR_CLI_COMREADERS_H

#include "cli/ParallelScan.h"
#include "WideScanFileSystem.h"

namespace cli {

// Each reader thread starts COM in a single-threaded apartment of its own,
// as the shell link object asks: from a multi-threaded apartment every link
// would be made on one host thread, and all the reads would queue there.
class CComReaders : public ReaderFileSystems {
public:
    // context: what the readers share with the host; none: nothing.
    explicit CComReaders(CReadContext* context = nullptr) : m_context(context) {}

    std::unique_ptr<scan::ScanFileSystem> Make() override;

private:
    CReadContext* m_context;  // we don't own it
};

}  // namespace cli

#endif
