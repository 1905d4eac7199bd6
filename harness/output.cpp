#include "harness/output.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <tuple>

#include "platform/regular_file.h"

namespace harness {

int finish_output(const char* tool) {
    errno = 0;
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const int code = errno;
    if (flushed && std::cout.good() && !std::ferror(stdout)) return 0;
    std::cerr << tool << ": cannot write output: "
              << (code != 0 ? std::strerror(code) : "write error") << std::endl;
    return 1;
}

namespace {

namespace fs = std::filesystem;

// Where writing to `path` would put a file that does not exist yet: the
// absolute path, a link (or a chain of them) to a file not yet made
// followed to its end, the links and dots of the folders resolved.
std::string resolved_path(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec) return path;
    for (int hops = 0; hops < 40; ++hops) {
        const fs::file_status link = fs::symlink_status(p, ec);
        if (ec || !fs::is_symlink(link)) break;
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    const fs::path canonical = fs::weakly_canonical(p, ec);
    return (ec ? p : canonical).lexically_normal().generic_string();
}

enum class Role { data, read, written };

// One name of a command's files and what it leads to.
struct Entry {
    bool exists = false;
    uint64_t device = 0, file = 0;  // when it exists
    std::string path;               // when it does not: the resolved path
    Role role = Role::data;
    std::size_t order = 0;  // among the command's files, as given
    const std::string* name = nullptr;

    auto key() const { return std::tie(exists, device, file, path); }
};

}  // namespace

std::string file_clash(const CommandFiles& files) {
    std::vector<Entry> entries;
    const auto add = [&](const std::vector<std::string>& names, Role role) {
        for (const std::string& name : names) {
            Entry e;
            e.role = role;
            e.order = entries.size();
            e.name = &name;
            platform::FileIdentity id;
            if (platform::file_identity(name.c_str(), &id)) {
                e.exists = true;
                e.device = id.device;
                e.file = id.file;
                if (role == Role::written && !id.regular)
                    return "cannot write " + name +
                           ": it is not a regular file (a FIFO, a device or a folder); nothing was written";
            } else {
                e.path = platform::path_key(resolved_path(name));
            }
            entries.push_back(std::move(e));
        }
        return std::string();
    };
    for (const auto& [names, role] : {std::make_pair(&files.data, Role::data), std::make_pair(&files.read, Role::read),
                                      std::make_pair(&files.written, Role::written)})
        if (std::string refused = add(*names, role); !refused.empty()) return refused;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.key() < b.key(); });
    // Each run of names for one file: an output among them clashes with any
    // other name of it; without one, two data files are one given twice.
    std::string clash;
    std::size_t clash_order = SIZE_MAX;  // the first clash as the files were given
    for (std::size_t from = 0; from < entries.size();) {
        std::size_t to = from + 1;
        while (to < entries.size() && entries[to].key() == entries[from].key()) ++to;
        std::vector<const Entry*> group;
        for (std::size_t k = from; k < to; ++k) group.push_back(&entries[k]);
        std::sort(group.begin(), group.end(), [](const Entry* a, const Entry* b) { return a->order < b->order; });
        const auto written = std::find_if(group.begin(), group.end(), [](const Entry* e) { return e->role == Role::written; });
        std::string found;
        std::size_t order = SIZE_MAX;
        if (written != group.end() && group.size() > 1) {
            const Entry* other = *(written == group.begin() ? group.begin() + 1 : group.begin());
            const Entry* output = *written;
            order = std::max(output->order, other->order);
            const Entry* first = other->order < output->order ? other : output;
            const Entry* second = first == other ? output : other;
            found = other->role == Role::written
                        ? "the outputs " + *first->name + " and " + *second->name + " are one file"
                        : "the output " + *output->name + " is the input " + *other->name;
        } else {
            std::vector<const Entry*> data;
            for (const Entry* e : group)
                if (e->role == Role::data) data.push_back(e);
            if (data.size() > 1) {
                order = data[1]->order;
                found = *data[1]->name + " is given twice (as " + *data[0]->name + " too)";
            }
        }
        if (!found.empty() && order < clash_order) {
            clash = found;
            clash_order = order;
        }
        from = to;
    }
    return clash;
}

}  // namespace harness
