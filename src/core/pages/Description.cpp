#include "pages/Description.h"

#include "common/Text.h"

namespace tabulo {

std::vector<std::string> DescriptionLines(std::string_view text) {
    std::vector<std::string> out;
    // CR LF, LF and a lone CR each end a line.
    std::vector<std::string> lines = split(replaceAll(crlfLineBreaks(text), "\r\n", "\n"), '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    for (const std::string& line : lines) {
        std::size_t i = 0;
        if (line.find_first_not_of(" \t") == std::string::npos) {
            out.emplace_back();
            continue;
        }
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
            std::string field;
            if (i < line.size() && line[i] == '"') {
                std::size_t close = line.find('"', i + 1);
                if (close == std::string::npos) close = line.size();
                field = line.substr(i + 1, close - i - 1);
                std::size_t comma = line.find(',', close);
                i = comma == std::string::npos ? line.size() : comma + 1;
            } else {
                std::size_t comma = line.find(',', i);
                std::size_t end = comma == std::string::npos ? line.size() : comma;
                field = line.substr(i, end - i);
                while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) {
                    field.pop_back();
                }
                i = comma == std::string::npos ? line.size() : comma + 1;
            }
            out.push_back(std::move(field));
        }
    }
    return out;
}

}  // namespace tabulo
