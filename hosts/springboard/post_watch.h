// A watch on the notifications this process posts: a notify centre installed
// once at start-up in front of the process's centre, which forwards everything
// and, while a watcher is set, tells it of each post before forwarding it.
// Main thread only.
#pragma once

#include <functional>
#include <string_view>

namespace hosts {

// Puts the watching centre in front of the process's Darwin notify centre.
void installPostWatch();

// Tells `watcher` of every post while the object lives (one at a time).
class WatchingPosts {
 public:
  explicit WatchingPosts(std::function<void(std::string_view name)> watcher);
  ~WatchingPosts();
  WatchingPosts(const WatchingPosts&) = delete;
  WatchingPosts& operator=(const WatchingPosts&) = delete;
};

}  // namespace hosts
