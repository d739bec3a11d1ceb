#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tabulo {

// What became of a file a run stores.
enum class Stored { Written, Unchanged, Kept };

// Where a run's files go, by their path below the run's top. The renderers never know which.
class PageStore {
  public:
    virtual ~PageStore() = default;
    // Stores `bytes` at `relative` as `type`, unless `there` (the ETag the listing gave for
    // that path, when it holds an object) shows them stored already, or a user's object there
    // is to be kept. Written may mean begun: finish() tells what failed.
    virtual Stored put(const std::string& relative, const std::string& bytes, const std::string& type,
                       const std::optional<std::string>& there) = 0;
    // Waits for the writes begun; what failed among them, each as "where: why".
    virtual std::vector<std::string> finish() { return {}; }
};

}  // namespace tabulo
