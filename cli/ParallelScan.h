// The scanner's parallel scan: the walk runs on the calling thread and hands
// each shortcut to a queue; reader threads read the shortcuts, each through a
// file system of its own; the rows are added on the calling thread in walk
// order. So the rows and their order are those of the sequential scan,
// whatever the timing.
#ifndef VELTMOR_CLI_PARALLELSCAN_H
#define VELTMOR_CLI_PARALLELSCAN_H

#include <cstddef>
#include <functional>
#include <memory>

#include "scan/ScanEngine.h"
#include "scan/ScanPlatform.h"

namespace cli {

// Makes the file system of one reader thread.
class ReaderFileSystems {
public:
    virtual ~ReaderFileSystems() = default;

    // Called on the reader thread itself before its first read; the file
    // system is used and destroyed on that thread. Null when this thread
    // cannot read (its COM would not start): the others read its share.
    virtual std::unique_ptr<scan::ScanFileSystem> Make() = 0;
};

constexpr unsigned kMaxJobs = 64;
// How far the walk may run ahead of the rows: beyond it the walk waits, so
// the queue's memory stays fixed and only the rows grow.
constexpr std::size_t kReadWindow = 512;

// engine.OnScan(), the shortcuts read by `jobs` reader threads; with 1 (or
// 0) the scan is the sequential one, no thread started. fileSystem is the
// calling thread's: it reads whatever no reader thread can. found, when
// given, is called on the calling thread for each shortcut the walk hands
// to the readers. An exception from a read comes out here when its row's
// turn comes, as it would from the sequential scan.
void ScanInParallel(scan::CScanEngine& engine, scan::ScanFileSystem& fileSystem, ReaderFileSystems& readers,
                    unsigned jobs, std::size_t window = kReadWindow, const std::function<void()>& found = {});

// The processors of this machine, between 1 and kMaxJobs.
unsigned ProcessorCount();

}  // namespace cli

#endif
