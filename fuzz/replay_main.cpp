// Replays a harness on every file of the folders (or the files) named, each in a child process
// so one failing input does not hide the others; fails when any input fails.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    // The children's scratch folders go below one of our own, removed at the end even when a
    // child died before it could clean up.
    std::string scratch = (fs::temp_directory_path() / "tabulo-replay-XXXXXX").string();
    if (!::mkdtemp(scratch.data())) return 1;
    ::setenv("TMPDIR", scratch.c_str(), 1);
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i])) {
            for (const auto& entry : fs::directory_iterator(argv[i])) {
                if (entry.is_regular_file()) inputs.push_back(entry.path());
            }
        } else {
            inputs.emplace_back(argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    std::vector<std::string> failed;
    for (const auto& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::fflush(nullptr);
        pid_t child = ::fork();
        if (child == 0) {
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            std::exit(0);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            failed.push_back(path.filename().string());
            std::fprintf(stderr, "FAILED: %s\n", path.c_str());
        }
    }
    std::error_code ec;
    fs::remove_all(scratch, ec);
    std::printf("%zu inputs: %zu passed, %zu failed\n", inputs.size(),
                inputs.size() - failed.size(), failed.size());
    for (const auto& name : failed) std::printf("  failed: %s\n", name.c_str());
    return inputs.empty() || !failed.empty() ? 1 : 0;
}
