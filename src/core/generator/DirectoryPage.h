#pragma once

#include "generator/FolderListing.h"

namespace tabulo {

class Engine;

// Writes the page (or all-in-one section) of the engine's current folder from its listing.
// Throws std::system_error when the page cannot be written; an existing page then stays.
void WriteDirectoryPage(Engine& engine, const FolderListing& listing);

}  // namespace tabulo
