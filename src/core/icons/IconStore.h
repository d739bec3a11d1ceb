#pragma once

#include <string>

namespace tabulo {

// Where fetched icons are kept: a run's icon folder, opened and confined when the run began.
class IconStore {
  public:
    virtual ~IconStore() = default;
    virtual bool hasIcon(const std::string& type) = 0;
    // False when the icon could not be stored (the failure is reported by the store).
    virtual bool storeIcon(const std::string& type, const std::string& bytes) = 0;
};

}  // namespace tabulo
