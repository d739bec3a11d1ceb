#pragma once

#include <string>
#include <string_view>

#include "common/Encoding.h"
#include "common/Text.h"

namespace tabulo {

// Text going out in windows-1252 with CR LF line ends: into memory (a page rendered ahead of
// its turn) or into a file (TextFile).
class TextOut {
  public:
    explicit TextOut(Unmappable policy) : policy_(policy) {}
    virtual ~TextOut() = default;
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    // Text without a line end; the next write continues the line.
    void write(std::string_view utf8) {
        appendCp1252(buffer_, utf8, policy_);
        spill();
    }
    void writeLine(std::string_view utf8 = {}) {
        write(utf8);
        buffer_ += "\r\n";
    }
    // Text that may hold its own line breaks (LF, CR or CR LF); each becomes CR LF.
    void writeMultiline(std::string_view utf8) { write(crlfLineBreaks(utf8)); }
    // Bytes already in the output's encoding.
    void writeRaw(std::string_view bytes) {
        buffer_.append(bytes);
        spill();
    }

  protected:
    // A file hands its bytes on once enough have gathered.
    virtual void spill() {}
    std::string buffer_;

  private:
    Unmappable policy_;
};

// Text kept in memory.
class TextBuffer : public TextOut {
  public:
    using TextOut::TextOut;
    std::string& bytes() { return buffer_; }
};

}  // namespace tabulo
