#pragma once

#include <cstddef>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "copy/OrderedExecutor.h"

// Which caption a free worker takes next, so that the pool ends as one
// caption at a time in walk order would:
// - Route: captions whose targets may be one file share a route; a worker
//   takes the first caption submitted whose route no worker is on, so that
//   they are copied one after another, in walk order, the later replacing
//   the earlier or refused by a read-only copy made earlier, as in a
//   sequential run; every other caption goes to whichever worker is free,
//   so that no worker is left with more than its share.
// - Group: of the captions it may take, a worker takes one whose group (the
//   caller groups by content folder) no worker is in, where there is one.
//   The folders of one content folder's captions are made in one folder,
//   and the file system makes one entry in a folder at a time, on a network
//   share a round trip or two each; workers spread over several content
//   folders do not wait on each other there.
// A route lies within one group (captions of one target are of one content
// folder), so preferring a group never takes a later caption of a route
// before an earlier one.
class RouteSchedule final : public OrderedExecutor::Schedule {
public:
    using Keys = OrderedExecutor::Keys;
    std::size_t Pick(const std::deque<Keys>& waiting) const override;
    void Started(const Keys& keys) override;
    void Ended(const Keys& keys) override;

private:
    std::unordered_set<std::size_t> routesOn_;              // the routes workers are on
    std::unordered_map<std::size_t, std::size_t> groupsIn_;  // the groups workers are in, and how many
};
