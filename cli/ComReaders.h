// The parallel scanner's reader file systems over the real Win32 calls.
#ifndef VELTMOR_CLI_COMREADERS_H
#define VELTMOR_CLI_COMREADERS_H

#include "ParallelScan.h"
#include "Win32ScanHost.h"

namespace cli {

// Each reader thread starts COM in a single-threaded apartment of its own,
// as the shell link object asks: from a multi-threaded apartment every link
// would be made on one host thread, and all the reads would queue there.
class CComReaders : public ReaderFileSystems {
public:
    // notes: where the readers note why a shortcut gave no target; none:
    // nowhere.
    explicit CComReaders(CEmptyTargetNotes* notes = nullptr) : m_notes(notes) {}

    std::unique_ptr<scan::ScanFileSystem> Make() override;

private:
    CEmptyTargetNotes* m_notes;  // we don't own it
};

}  // namespace cli

#endif
