#include "ParallelScan.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace cli {

namespace {

// One shortcut the walk found, from the walk until its row is added.
struct Slot {
    std::string path;
    bool pif = false;
    bool done = false;  // read; set under the queue's lock
    scan::ShortcutRead read;
    std::exception_ptr failure;
};

class CReadQueue : public scan::ShortcutSink {
public:
    CReadQueue(scan::CScanEngine& engine, scan::ScanFileSystem& fileSystem, std::size_t window,
               const std::function<void()>& found)
        : m_engine(engine), m_fileSystem(fileSystem), m_window(std::max<std::size_t>(window, 1)), m_found(found)
    {
    }
    // On every way out: readers stop taking shortcuts and are waited for,
    // so none outlives the engine or the slots it reads into.
    ~CReadQueue() override { Stop(true); }

    CReadQueue(const CReadQueue&) = delete;
    CReadQueue& operator=(const CReadQueue&) = delete;

    void Start(ReaderFileSystems& readers, unsigned threads);

    // The walk's thread: queues the shortcut, adds the rows already read and
    // waits while the walk is a window ahead of the rows.
    void Shortcut(const std::string& shortcutPath, bool pif) override;

    // After the walk: adds every remaining row.
    void Finish();

private:
    void Reader(ReaderFileSystems& readers);
    void Read(scan::ScanFileSystem& fileSystem, Slot& slot);
    // Adds the oldest shortcut's row once it is read; reads it here when no
    // reader thread is left to.
    void AddFrontRow(std::unique_lock<std::mutex>& lock);
    void Stop(bool abandon);

    scan::CScanEngine& m_engine;
    scan::ScanFileSystem& m_fileSystem;
    const std::size_t m_window;
    const std::function<void()>& m_found;

    std::mutex m_mutex;
    std::condition_variable m_work;  // readers wait for shortcuts
    std::condition_variable m_read;  // the walk's thread waits for a read
    std::deque<Slot> m_slots;        // walk order, from the oldest without its row
    std::size_t m_untaken = 0;       // index in m_slots of the first no reader took
    unsigned m_readers = 0;          // reader threads that can still read
    bool m_closed = false;           // no more shortcuts will come
    bool m_abandoned = false;        // and the ones left are not wanted
    // Who waits, so that nobody is woken for nothing: under Wine each wake-up
    // is a round trip to the server.
    unsigned m_idleReaders = 0;
    bool m_walkWaiting = false;
    std::vector<std::thread> m_threads;
};

void CReadQueue::Start(ReaderFileSystems& readers, unsigned threads)
{
    m_readers = threads;
    for (unsigned i = 0; i < threads; ++i) {
        try {
            m_threads.emplace_back(&CReadQueue::Reader, this, std::ref(readers));
        } catch (const std::system_error&) {
            // Fewer readers, or none: the walk's thread reads what is left.
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_readers -= threads - i;
            m_read.notify_all();
            break;
        }
    }
}

void CReadQueue::Shortcut(const std::string& shortcutPath, bool pif)
{
    if (m_found)
        m_found();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_slots.emplace_back();
    m_slots.back().path = shortcutPath;
    m_slots.back().pif = pif;
    if (m_idleReaders > 0)
        m_work.notify_one();
    while (!m_slots.empty() && (m_slots.front().done || m_slots.size() >= m_window))
        AddFrontRow(lock);
}

void CReadQueue::Finish()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_closed = true;
    m_work.notify_all();
    while (!m_slots.empty())
        AddFrontRow(lock);
    lock.unlock();
    Stop(false);
}

void CReadQueue::Reader(ReaderFileSystems& readers)
{
    std::unique_ptr<scan::ScanFileSystem> fileSystem;
    try {
        fileSystem = readers.Make();
    } catch (...) {
        // As a thread whose COM would not start: the others read.
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    while (fileSystem) {
        ++m_idleReaders;
        m_work.wait(lock, [this] { return m_untaken < m_slots.size() || m_closed; });
        --m_idleReaders;
        if (m_abandoned || m_untaken == m_slots.size())
            break;
        // Stays put while this thread reads: only the walk's thread removes
        // slots, and only read ones.
        Slot& slot = m_slots[m_untaken++];
        lock.unlock();
        Read(*fileSystem, slot);
        lock.lock();
        slot.done = true;
        if (m_walkWaiting && &slot == &m_slots.front())
            m_read.notify_one();
    }
    --m_readers;
    if (m_walkWaiting)
        m_read.notify_one();
    lock.unlock();
    fileSystem.reset();  // on this thread, whose COM it holds
}

void CReadQueue::Read(scan::ScanFileSystem& fileSystem, Slot& slot)
{
    try {
        slot.read = m_engine.ReadShortcut(fileSystem, slot.path, slot.pif);
    } catch (...) {
        slot.failure = std::current_exception();
    }
}

void CReadQueue::AddFrontRow(std::unique_lock<std::mutex>& lock)
{
    Slot& front = m_slots.front();
    m_walkWaiting = true;
    m_read.wait(lock, [&] { return front.done || (m_readers == 0 && m_untaken == 0); });
    m_walkWaiting = false;
    if (!front.done) {
        ++m_untaken;
        lock.unlock();
        Read(m_fileSystem, front);
        lock.lock();
    }
    const Slot slot = std::move(front);
    m_slots.pop_front();
    --m_untaken;
    lock.unlock();
    if (slot.failure)
        std::rethrow_exception(slot.failure);
    m_engine.AddResultRow(slot.path, slot.read);
    lock.lock();
}

void CReadQueue::Stop(bool abandon)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_abandoned = m_abandoned || abandon;
        m_work.notify_all();
    }
    for (std::thread& thread : m_threads)
        if (thread.joinable())
            thread.join();
}

// Hands the walk's shortcuts to the queue for as long as it lives.
class SinkInstalled {
public:
    SinkInstalled(scan::CScanEngine& engine, scan::ShortcutSink& sink) : m_engine(engine)
    {
        m_engine.SetShortcutSink(&sink);
    }
    ~SinkInstalled() { m_engine.SetShortcutSink(nullptr); }
    SinkInstalled(const SinkInstalled&) = delete;
    SinkInstalled& operator=(const SinkInstalled&) = delete;

private:
    scan::CScanEngine& m_engine;
};

}  // namespace

void ScanInParallel(scan::CScanEngine& engine, scan::ScanFileSystem& fileSystem, ReaderFileSystems& readers,
                    unsigned jobs, std::size_t window, const std::function<void()>& found)
{
    if (jobs <= 1) {
        engine.OnScan();
        return;
    }
    CReadQueue queue(engine, fileSystem, window, found);
    const SinkInstalled sink(engine, queue);
    queue.Start(readers, std::min(jobs, kMaxJobs));
    engine.OnScan();
    queue.Finish();
}

unsigned ProcessorCount()
{
    // Zero when the library cannot tell.
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxJobs);
}

}  // namespace cli
