#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/Descriptor.h"

namespace tabulo {

// Puts what a run writes on disk: the file system that holds the open folder is flushed once at
// the end (finish), and meanwhile now and then on a thread of its own while files are being
// written, so that the disk works while the run does rather than after it. A flush that fails
// (the disk reports a lost write) is remembered: finish() returns the first such error.
class FileSystemFlush {
  public:
    explicit FileSystemFlush(int folder);
    ~FileSystemFlush();
    FileSystemFlush(const FileSystemFlush&) = delete;
    FileSystemFlush& operator=(const FileSystemFlush&) = delete;

    // Stops the thread and flushes what was written since the last flush; the first error of
    // any flush, or none. Later calls only return that result.
    std::error_code finish();

  private:
    void flushIfWritten();

    Descriptor fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool finished_ = false;
    std::uint64_t flushedAt_ = 0;  // files committed when the last flush began
    std::error_code error_;
    std::thread thread_;
};

// Files put in place by this process so far (each commit of a TextFile counts).
std::uint64_t filesCommitted();
// Flushes of a file system this process made so far.
std::uint64_t fileSystemFlushes();
void countCommittedFile();

}  // namespace tabulo
