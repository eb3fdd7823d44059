#include "copy/RouteSchedule.h"

std::size_t RouteSchedule::Pick(const std::deque<Keys>& waiting) const {
    // A caption of a route that a worker is on waits, and so does every
    // later one of that route, as none of them comes first; of the others,
    // the first of a group no worker is in, else the first.
    std::size_t eligible = waiting.size();
    for (std::size_t at = 0; at < waiting.size(); ++at) {
        const Keys& keys = waiting[at];
        if (routesOn_.count(keys.route) != 0) continue;
        if (groupsIn_.count(keys.group) == 0) return at;
        if (eligible == waiting.size()) eligible = at;
    }
    return eligible;
}

void RouteSchedule::Started(const Keys& keys) {
    routesOn_.insert(keys.route);
    ++groupsIn_[keys.group];
}

void RouteSchedule::Ended(const Keys& keys) {
    routesOn_.erase(keys.route);
    const auto in = groupsIn_.find(keys.group);
    if (in != groupsIn_.end() && --in->second == 0) groupsIn_.erase(in);
}
