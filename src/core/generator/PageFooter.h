#pragma once

namespace tabulo {

class Engine;

// Closes a page in the run's open output file: upload form, footer code, about line, badges.
void WritePageFooter(Engine& engine);

}  // namespace tabulo
