// The chart's objects by name (terminal.h): find, add, remove.
#include "tools/mql4run/terminal.h"

#include <iterator>

namespace mql {

ChartObject* Chart::find(const std::string& name) {
    const auto it = by_name_.find(name);
    return it == by_name_.end() ? nullptr : &*it->second;
}

ChartObject* Chart::add(ChartObject object) {
    if (by_name_.count(object.name) != 0) return nullptr;
    objects.push_back(std::move(object));
    const auto placed = std::prev(objects.end());
    by_name_.emplace(placed->name, placed);
    return &*placed;
}

bool Chart::remove(const std::string& name) {
    const auto it = by_name_.find(name);
    if (it == by_name_.end()) return false;
    objects.erase(it->second);
    by_name_.erase(it);
    return true;
}

}  // namespace mql
