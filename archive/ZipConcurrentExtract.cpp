// Extracting several entries at once. Inflating and writing a file are the two costs of an
// installation that grow with the payload; on a machine with more than one core they can run
// side by side. The calling thread walks the directory, pumps the messages and extracts files
// too; helper threads, each with its own handle on the archive and its own buffers, take the
// files queued. Each file is still extracted whole by one thread, exactly as one after the
// other, so an entry's outcome is the same either way.
#include "archive/ZipReader.h"

#include "archive/ZipEntryDecoder.h"

#include <chrono>
#include <condition_variable>
#include <cwctype>
#include <deque>
#include <exception>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

// Files waiting for a thread, per thread: enough that a helper never runs dry while the
// calling thread extracts a large file itself (when the queue is full it takes one too).
constexpr std::size_t kQueuedPerThread = 64;
// How long the calling thread waits for the others before it pumps the messages again.
constexpr std::chrono::milliseconds kPumpWait{15};

// Two names Windows takes for the same file have the same key: an entry is not started while
// another of the same name is queued or being written, so that the later one replaces the
// earlier, as it does one after the other.
std::wstring FileKey(const std::wstring& path) {
    std::wstring key = path;
    for (wchar_t& c : key)
        c = static_cast<wchar_t>(std::towupper(c));
    return key;
}

} // namespace

class TZipReader::TExtractionPool {
public:
    TExtractionPool(TZipReader& reader, IZipInput& input, unsigned helpers)
        : reader_(reader), input_(input), capacity_((helpers + 1) * kQueuedPerThread) {
        helpers_.reserve(helpers);
        // Fewer threads than asked for (the system refused one) only means less at once.
        try {
            for (unsigned i = 0; i < helpers; ++i)
                helpers_.emplace_back([this] { HelperLoop(); });
        } catch (const std::system_error&) {
        }
    }

    // Stops the helpers after the files they are writing (queued ones are dropped), for a walk
    // that ended with an exception; Finish has stopped them otherwise.
    ~TExtractionPool() { StopHelpers(); }

    TExtractionPool(const TExtractionPool&) = delete;
    TExtractionPool& operator=(const TExtractionPool&) = delete;

    // Queues one file entry. Throws the failure of an earlier entry (as extracting one after
    // the other would have stopped there) once the entries before that one are extracted.
    void Submit(const TZipHeaderInfo& entry) {
        TJob job{next_++, entry, FileKey(entry.directory + entry.fileName)};
        std::unique_lock<std::mutex> lock(lock_);
        while (!failure_ && (queue_.size() >= capacity_ || busy_.contains(job.key))) {
            if (!queue_.empty())
                RunFront(lock, *reader_.decoder_, input_);
            else
                WaitAndPump(lock);
        }
        if (failure_) {
            lock.unlock();
            Finish(); // throws the failure
            return;
        }
        busy_.insert(job.key);
        queue_.push_back(std::move(job));
        // Waking a thread is a round trip to the system (under Wine, to its server): done only
        // when one is asleep.
        const bool wake = idleHelpers_ > 0;
        lock.unlock();
        if (wake)
            wake_.notify_one();
    }

    // Counts an entry the walk handled itself (a folder).
    void CountSucceeded() {
        const std::lock_guard<std::mutex> guard(lock_);
        ++succeeded_;
    }

    // Extracts what is still queued, waits for the helpers and stops them; returns how many
    // entries succeeded or throws the failure of the first entry (in the archive's order) that
    // failed. The entries before that one are all extracted, as one after the other; of those
    // after it, only the ones already being written when it failed.
    int Finish() {
        std::unique_lock<std::mutex> lock(lock_);
        for (;;) {
            if (!queue_.empty())
                RunFront(lock, *reader_.decoder_, input_);
            else if (running_ > 0)
                WaitAndPump(lock);
            else
                break;
        }
        lock.unlock();
        StopHelpers();
        if (failure_)
            std::rethrow_exception(failure_);
        return succeeded_;
    }

private:
    struct TJob {
        std::uint64_t sequence; // the entry's place among the files, for the first failure
        TZipHeaderInfo entry;
        std::wstring key;
    };

    // Drops what is still queued and lets each helper end after the file it is writing.
    void StopHelpers() {
        {
            const std::lock_guard<std::mutex> guard(lock_);
            stopping_ = true;
            queue_.clear();
        }
        wake_.notify_all();
        for (std::thread& helper : helpers_)
            if (helper.joinable())
                helper.join();
    }

    void HelperLoop() {
        // A helper that cannot open the archive leaves its share to the others.
        std::unique_ptr<IZipInput> input;
        try {
            input = reader_.host_.OpenArchive(reader_.zipName_);
        } catch (...) {
            return;
        }
        TEntryDecoder decoder(false);
        std::unique_lock<std::mutex> lock(lock_);
        for (;;) {
            ++idleHelpers_;
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            --idleHelpers_;
            if (stopping_)
                return;
            RunFront(lock, decoder, *input);
        }
    }

    // Takes the first queued job and extracts it with the lock released.
    void RunFront(std::unique_lock<std::mutex>& lock, TEntryDecoder& decoder, IZipInput& input) {
        TJob job = std::move(queue_.front());
        queue_.pop_front();
        ++running_;
        lock.unlock();
        bool succeeded = false;
        std::exception_ptr error;
        try {
            succeeded = reader_.ExtractEntry(input, job.entry, decoder);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        --running_;
        busy_.erase(busy_.find(job.key));
        if (succeeded)
            ++succeeded_;
        if (error && job.sequence < failedAt_) {
            failure_ = error;
            failedAt_ = job.sequence;
            DropQueuedAfter(failedAt_);
        }
        if (callerWaiting_)
            done_.notify_all();
    }

    // Waits for a helper to finish a file, then lets the window handle its messages.
    void WaitAndPump(std::unique_lock<std::mutex>& lock) {
        callerWaiting_ = true;
        done_.wait_for(lock, kPumpWait);
        callerWaiting_ = false;
        lock.unlock();
        reader_.Pump();
        lock.lock();
    }

    // The queue is in the archive's order: the jobs after `sequence` are at its end.
    void DropQueuedAfter(std::uint64_t sequence) {
        while (!queue_.empty() && queue_.back().sequence > sequence) {
            busy_.erase(busy_.find(queue_.back().key));
            queue_.pop_back();
        }
    }

    TZipReader& reader_;
    IZipInput& input_; // the calling thread's
    const std::size_t capacity_;
    std::uint64_t next_ = 0;
    std::mutex lock_;
    std::condition_variable wake_; // a job was queued, or the helpers are to stop
    std::condition_variable done_; // a job ended
    std::deque<TJob> queue_;
    std::unordered_multiset<std::wstring> busy_; // keys of the jobs queued or running
    std::size_t running_ = 0;
    unsigned idleHelpers_ = 0;   // helpers asleep until a job is queued
    bool callerWaiting_ = false; // the calling thread asleep until a job ends
    bool stopping_ = false;
    int succeeded_ = 0;
    std::exception_ptr failure_;
    std::uint64_t failedAt_ = UINT64_MAX;
    std::vector<std::thread> helpers_;
};

int TZipReader::UnZipConcurrently(IZipInput& input, unsigned threads) {
    TExtractionPool pool(*this, input, threads - 1);
    ForEachEntry(input, [&](const TZipHeaderInfo& entry, std::uint64_t) {
        if (!DoAll || (entry.IsDirectory() && !RecreateDirs))
            return;
        if (!entry.IsDirectory()) {
            pool.Submit(entry);
            return;
        }
        // Folders are quick and the files inside need them: the walk makes them in order.
        if (ExtractEntry(input, entry, *decoder_))
            pool.CountSucceeded();
    });
    return pool.Finish();
}
