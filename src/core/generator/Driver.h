#pragma once

namespace tabulo {

class Engine;

// One index run of the engine's current folder (the "Go!" button).
void RunIndex(Engine& engine);

// The depth of the www root; without one, of the current folder.
int WwwRootDepth(Engine& engine);

}  // namespace tabulo
