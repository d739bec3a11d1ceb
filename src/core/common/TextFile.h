#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "common/Encoding.h"

namespace tabulo {

// A text file written in windows-1252 with CR LF line ends. A file that replaces another is
// written beside it and renamed into place by commit(), so a failed write never leaves a
// truncated file where a good one was; a new one that fails is removed again. Failures throw
// std::system_error naming the cause.
class TextFile {
  public:
    enum class Mode { Replace, Append };

    TextFile(std::string path, Mode mode, Unmappable policy);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    const std::string& path() const { return path_; }

    // Text without a line end; the next write continues the line.
    void write(std::string_view utf8);
    void writeLine(std::string_view utf8 = {});
    // Text that may hold its own line breaks (LF, CR or CR LF); each becomes CR LF.
    void writeMultiline(std::string_view utf8);

    // Writes what is buffered and puts the file in place.
    void commit();

  private:
    void flush();

    std::string path_;
    std::string writePath_;
    Mode mode_;
    Unmappable policy_;
    int fd_ = -1;
    std::string buffer_;
    bool committed_ = false;
};

// The bytes of an ordinary file. Nothing, with `ec` clear, when `path` is something else (a
// folder, a pipe, a device), which is never opened for reading and so never blocks; nothing,
// with `ec` set, when the file cannot be opened or read.
std::optional<std::string> readRegularFile(const std::string& path, std::error_code& ec);

// Whether something (file or folder) exists at `path`.
bool pathExists(const std::string& path);
bool isFile(const std::string& path);         // exists and is no folder
bool isRegularFile(const std::string& path);  // an ordinary file
// Whether the folder holds at least one ordinary file (false when it cannot be read).
bool holdsAFile(const std::string& folder);

}  // namespace tabulo
