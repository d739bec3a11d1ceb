#include "common/FileSystemFlush.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "common/Faults.h"
#include "common/FolderAccess.h"

namespace tabulo {

namespace {

std::atomic<std::uint64_t> committed{0};
std::atomic<std::uint64_t> flushes{0};

int flushFileSystem(int fd) {
    flushes.fetch_add(1, std::memory_order_relaxed);
    if (injectedFault(Fault::Syncfs)) return EIO;
#ifdef __linux__
    // Since Linux 5.8 this also reports writes the disk lost since the folder was opened.
    return ::syncfs(fd) == 0 ? 0 : errno;
#else
    (void)fd;
    ::sync();
    return 0;
#endif
}

}  // namespace

std::uint64_t filesCommitted() {
    return committed.load(std::memory_order_relaxed);
}

std::uint64_t fileSystemFlushes() {
    return flushes.load(std::memory_order_relaxed);
}

void countCommittedFile() {
    committed.fetch_add(1, std::memory_order_relaxed);
}

FileSystemFlush::FileSystemFlush(int folder) : flushedAt_(filesCommitted()) {
    fd_.reset(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    if (!fd_) return;
    try {
        if (injectedFault(Fault::Thread)) throw std::system_error(EAGAIN, std::generic_category());
        thread_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_; })) {
                lock.unlock();
                flushIfWritten();
                lock.lock();
            }
        });
    } catch (const std::system_error&) {
        // No thread to spare: the flush at the end does it all.
    }
}

void FileSystemFlush::flushIfWritten() {
    std::uint64_t now = filesCommitted();
    if (now == flushedAt_) return;  // a run that writes nothing flushes nothing
    flushedAt_ = now;
    if (int err = flushFileSystem(fd_.get()); err != 0 && !error_)
        error_.assign(err, std::generic_category());
}

FileSystemFlush::~FileSystemFlush() {
    finish();
}

std::error_code FileSystemFlush::finish() {
    if (finished_) return error_;
    finished_ = true;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (fd_) flushIfWritten();
    return error_;
}

}  // namespace tabulo
