// The settings file through pugixml (the posix stand-in of MSXML).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <pugixml.hpp>

#include "platform/dialog_settings.h"
#include "platform/posix/unique_resource.h"
#include "platform/regular_file.h"

namespace platform {

namespace {

pugi::xml_node find_key(pugi::xml_document& doc, const char* key) {
    return doc.child("configuration").child("appSettings").find_child_by_attribute("add", "key",
                                                                                     key);
}

// The whole document as the user wrote it: declaration, comments,
// processing instructions, doctype and white space are all kept.
bool load(pugi::xml_document& doc, const std::string& path, std::string* error,
          pugi::xml_encoding* encoding = nullptr) {
    // Only a regular file: a FIFO would block the window thread (and
    // KillDialog waiting for it) for good. The reason names what is wrong
    // ("Permission denied", "Is a directory"), not a parse failure.
    std::string reason;
    const unique_file owned(open_regular_file(path.c_str(), &reason));
    std::FILE* file = owned.get();
    if (file == nullptr) {
        *error = "cannot read " + path + ": " + reason;
        return false;
    }
    std::string bytes;
    char block[1 << 14];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, n);
    const bool read_failed = std::ferror(file) != 0;
    if (read_failed) {
        *error = "cannot read " + path + ": read error";
        return false;
    }
    const pugi::xml_parse_result r =
        doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_full | pugi::parse_ws_pcdata);
    if (!r) {
        *error = "cannot read " + path + ": " + r.description();
        return false;
    }
    if (encoding != nullptr) *encoding = r.encoding;
    return true;
}

// Whether the file starts with a byte-order mark (UTF-8 or UTF-16/32):
// pugixml reads through one but writes one only when asked.
bool starts_with_bom(const std::string& path) {
    const posix::unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return false;
    unsigned char head[3] = {};
    const ssize_t n = ::read(fd.get(), head, sizeof head);
    return (n >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) ||
           (n >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF)));
}

bool write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces the file's content as one step: the bytes go to a file of this
// process's own name in the same folder, which is then renamed over the
// old one, so a reader, or the next start after a crash, sees the old
// file or the new one, never a part. The new file gets the old one's
// permissions. In a folder where no file can be created (read-only, the
// file itself writable) the file is written in place, as the only way left.
bool replace_file(const std::string& path, const std::string& bytes, std::string* error) {
    struct stat old {};
    const bool have_old = ::stat(path.c_str(), &old) == 0;
    const std::string temp = path + "." + std::to_string(::getpid()) + ".tmp";
    posix::unique_fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) {
        if (errno != EACCES && errno != EROFS && errno != EPERM) {
            *error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        posix::unique_fd in_place(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK));
        const bool ok = in_place && write_all(in_place.get(), bytes) && in_place.close();
        if (!ok) *error = "cannot write " + path;
        return ok;
    }
    bool ok = write_all(fd.get(), bytes);
    if (ok && have_old) ::fchmod(fd.get(), old.st_mode & 07777);
    ok = ::fsync(fd.get()) == 0 && ok;
    ok = fd.close() && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
    *error = "cannot write " + path + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
}

}  // namespace

bool read_dialog_position(const std::string& path, int32_t* x, int32_t* y, std::string* error) {
    pugi::xml_document doc;
    if (!load(doc, path, error)) return false;
    int32_t* targets[] = {x, y};
    const char* keys[] = {"DialogX", "DialogY"};
    for (int k = 0; k < 2; ++k) {
        const pugi::xml_node node = find_key(doc, keys[k]);
        if (!node) {
            *error = std::string("the setting ") + keys[k] + " is missing";
            return false;
        }
        if (!parse_setting_int(node.attribute("value").value(), targets[k])) {
            *error = std::string("the setting ") + keys[k] + " is not an integer";
            return false;
        }
    }
    return true;
}

bool read_app_setting(const std::string& path, const char* key, std::string* value,
                      std::string* error) {
    pugi::xml_document doc;
    if (!load(doc, path, error)) return false;
    const pugi::xml_node node = find_key(doc, key);
    if (!node) {
        *error = std::string("the setting ") + key + " is missing";
        return false;
    }
    *value = node.attribute("value").value();
    return true;
}

bool write_dialog_position(const std::string& path, int32_t x, int32_t y, std::string* error) {
    pugi::xml_document doc;
    pugi::xml_encoding encoding = pugi::encoding_auto;
    const bool bom = starts_with_bom(path);
    if (!load(doc, path, error, &encoding)) return false;
    pugi::xml_node nx = find_key(doc, "DialogX"), ny = find_key(doc, "DialogY");
    if (!nx || !ny) {
        *error = "the settings DialogX and DialogY are missing";
        return false;
    }
    for (auto [node, v] : {std::make_pair(nx, x), std::make_pair(ny, y)}) {
        pugi::xml_attribute value = node.attribute("value");
        if (!value) value = node.append_attribute("value");
        value.set_value(std::to_string(v).c_str());
    }
    // Written back as parsed, in its own encoding and with its byte-order
    // mark if it had one: no re-indenting (which would also grow with the
    // nesting depth) and no declaration added.
    std::ostringstream bytes;
    doc.save(bytes, "",
             pugi::format_raw | pugi::format_no_declaration | (bom ? pugi::format_write_bom : 0u),
             encoding);
    return replace_file(path, bytes.str(), error);
}


}  // namespace platform
