#pragma once

#include <sys/stat.h>

#include "common/FolderAccess.h"

namespace tabulo {

// Tabulo's own files (pages, checksum and JSON listings, icons, temporaries) must not change
// the time of the folder they land in: the parent's page shows that time, so every run would
// find a change that is only its own, and never settle. Each change of a folder's names goes
// through change(); when the last keeper of a folder goes and nothing but this process changed
// the folder meanwhile, the folder gets back the time it had before. Any thread.
class KeptFolderTime {
  public:
    // `folder` stays open while this object lives.
    explicit KeptFolderTime(int folder);
    ~KeptFolderTime();
    KeptFolderTime(const KeptFolderTime&) = delete;
    KeptFolderTime& operator=(const KeptFolderTime&) = delete;

    // Runs `makeChange`, one call that creates, renames or removes a name in the folder.
    template <class Change>
    auto change(Change&& makeChange) -> decltype(makeChange()) {
        Ours ours(*this);
        return makeChange();
    }

  private:
    // Around one change: whoever changed the folder since our last change was not us.
    class Ours {
      public:
        explicit Ours(KeptFolderTime& keeper);
        ~Ours();
        Ours(const Ours&) = delete;
        Ours& operator=(const Ours&) = delete;

      private:
        KeptFolderTime& keeper_;
    };

    int folder_;
    FolderId id_{};
    bool active_ = false;  // the folder could be looked at
};

// Whether the folder `id` has `time` because a keeper gave it back (lately): a watch then sees
// only our own doing. Forgets it once asked.
bool wasGivenBackItsTime(const FolderId& id, const timespec& time);

// One change of `folder` as Tabulo's own, for callers that make only one.
template <class Change>
auto changeKeepingTime(int folder, Change&& makeChange) -> decltype(makeChange()) {
    KeptFolderTime kept(folder);
    return kept.change(makeChange);
}

}  // namespace tabulo
