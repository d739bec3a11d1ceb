// Theme files: whatever a loaded file sets must come back unchanged after a save and a reload.
// Both files are real ones in the scratch home, so the bytes are those cmdSave_Click writes and
// readTextFile reads, whatever encoding they choose.

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "engine/Engine.h"
#include "FuzzSupport.h"
#include "commands/ThemeCommands.h"
#include "common/Encoding.h"
#include "themes/Themes.h"

using namespace tabulo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = fuzz::ScratchFolder();
    const std::string input = scratch + "/input.color";
    std::ofstream(input, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    fuzz::RecordingHost firstHost, secondHost;
    Engine first(firstHost), second(secondHost);
    first.setCurrentFolder(scratch);
    second.setCurrentFolder(scratch);

    ApplyThemeText(first, readTextFile(input));
    ::unlink(ThemePath("fuzz").c_str());  // no overwrite question
    first.options().setText(opt("cmbSheme"), "fuzz");
    cmdSave_Click(first);
    bool saved = false;
    const std::string text = readTextFile(ThemePath("fuzz"), &saved);
    FUZZ_CHECK(saved, first.statusLine());
    second.options().setText(opt("cmbSheme"), "fuzz");
    ApplyThemeText(second, text);

    for (OptionId id = 0; id < kOptionTable.size(); ++id) {
        const std::string before = first.options().valueText(id);
        const std::string after = second.options().valueText(id);
        FUZZ_CHECK(before == after, std::string(kOptionTable[id].name) + ": " +
                                        fuzz::Shown(before) + " became " + fuzz::Shown(after));
    }
    return 0;
}
