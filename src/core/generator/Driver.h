#pragma once

namespace tabulo {

class Engine;

// One index run of the engine's current folder (the "Go!" button).
void RunIndex(Engine& engine);

}  // namespace tabulo
