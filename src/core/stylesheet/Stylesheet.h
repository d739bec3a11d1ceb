#pragma once

namespace tabulo {

class Engine;

// Writes the five style rules into the run's open output file.
void WriteStylesheetRules(Engine& engine);
// The stylesheet writer: the rules into their own file, after the overwrite question.
void WriteStylesheetFile(Engine& engine);

}  // namespace tabulo
