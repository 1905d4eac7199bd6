// The settings file through pugixml (the posix stand-in of MSXML).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

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

// A settings file holds a few lines: one larger than this is not read (an
// error), rather than read and rewritten whole at any size.
constexpr long long kMaxSettingsBytes = 8LL * 1024 * 1024;

// The file's bytes, at most kMaxSettingsBytes of them.
bool read_bytes(const std::string& path, std::string* bytes, std::string* error) {
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
    if (file_size(file) > kMaxSettingsBytes) {
        *error = "cannot read " + path + ": larger than 8 MiB, not a settings file";
        return false;
    }
    bytes->clear();
    char block[1 << 14];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) {
        if (bytes->size() + n > static_cast<std::size_t>(kMaxSettingsBytes)) {  // grew while read
            *error = "cannot read " + path + ": larger than 8 MiB, not a settings file";
            return false;
        }
        bytes->append(block, n);
    }
    if (std::ferror(file) != 0) {
        *error = "cannot read " + path + ": read error";
        return false;
    }
    return true;
}

// The whole document as the user wrote it: declaration, comments,
// processing instructions, doctype and white space are all kept.
bool load(pugi::xml_document& doc, const std::string& path, std::string* error,
          pugi::xml_encoding* encoding = nullptr) {
    std::string bytes;
    if (!read_bytes(path, &bytes, error)) return false;
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

// Replaces the file's content as one step: the bytes go to a new file in
// the same folder, which is then renamed over the old one, so a reader, or
// the next start after a crash, sees the old file or the new one, never a
// part. The new file is made by this call alone (O_EXCL under a name no one
// can guess, as mkstemp makes it: a link or file planted at a name never
// receives the bytes or lends its mode) and gets the old file's
// permissions. A file that is a symbolic link is written through: its
// target is replaced, the link stays. A read-only file (no write permission
// for anyone, or none for this process) is kept: the save is refused. In a
// folder where no file can be created (read-only, the file itself writable)
// the file is written in place, as the only way left.
bool replace_file(const std::string& named, const std::string& bytes, std::string* error) {
    const posix::unique_malloc_text resolved(::realpath(named.c_str(), nullptr));
    if (!resolved) {
        *error = "cannot write " + named + ": " + std::strerror(errno);
        return false;
    }
    const std::string path = resolved.get();
    struct stat old {};
    if (::stat(path.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) {
        *error = "cannot write " + named + ": not a regular file";
        return false;
    }
    if ((old.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) {
        *error = "cannot write " + named + ": the file is read-only";
        return false;
    }
    std::string temp = path + ".XXXXXX";
    posix::unique_fd fd(::mkostemp(&temp[0], O_CLOEXEC));
    if (!fd) {
        if (errno != EACCES && errno != EROFS && errno != EPERM) {
            *error = "cannot write " + named + ": " + std::strerror(errno);
            return false;
        }
        posix::unique_fd in_place(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
        const bool ok = in_place && write_all(in_place.get(), bytes) && in_place.close();
        if (!ok) *error = "cannot write " + named;
        return ok;
    }
    bool ok = write_all(fd.get(), bytes);
    ok = ok && ::fchmod(fd.get(), old.st_mode & 0777) == 0;
    ok = ::fsync(fd.get()) == 0 && ok;
    ok = fd.close() && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
    *error = "cannot write " + named + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
}

// The text between the quotes of the attribute `name` of the element whose
// name starts at `at` in `text`: its first and one-past-last offsets, or
// first == npos when the element has no such attribute (then `end_of_name`
// is where one can be inserted).
struct AttributeSpan {
    std::size_t first = std::string::npos, last = std::string::npos, end_of_name = std::string::npos;
};
AttributeSpan find_attribute(const std::string& text, std::size_t at, const char* name) {
    AttributeSpan span;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t p = at;
    while (p < text.size() && !blank(text[p]) && text[p] != '/' && text[p] != '>') ++p;
    span.end_of_name = p;
    for (;;) {
        while (p < text.size() && blank(text[p])) ++p;
        if (p >= text.size() || text[p] == '/' || text[p] == '>') return span;
        const std::size_t name_start = p;
        while (p < text.size() && !blank(text[p]) && text[p] != '=') ++p;
        const std::string attribute = text.substr(name_start, p - name_start);
        while (p < text.size() && blank(text[p])) ++p;
        if (p >= text.size() || text[p] != '=') return span;
        ++p;
        while (p < text.size() && blank(text[p])) ++p;
        if (p >= text.size() || (text[p] != '"' && text[p] != '\'')) return span;
        const char quote = text[p++];
        const std::size_t value_start = p;
        p = text.find(quote, p);
        if (p == std::string::npos) return span;
        if (attribute == name) {
            span.first = value_start;
            span.last = p;
            return span;
        }
        ++p;
    }
}

// UTF-16 text (little- or big-endian code units, no mark) as UTF-8 and back,
// exactly: false for text that is no UTF-16 (an odd length, a lone
// surrogate).
bool utf8_from_utf16(const std::string& in, bool big_endian, std::string* out) {
    if (in.size() % 2 != 0) return false;
    out->clear();
    const auto unit = [&](std::size_t k) {
        const auto a = static_cast<unsigned char>(in[k]), b = static_cast<unsigned char>(in[k + 1]);
        return big_endian ? static_cast<unsigned>(a << 8 | b) : static_cast<unsigned>(b << 8 | a);
    };
    for (std::size_t k = 0; k < in.size(); k += 2) {
        unsigned c = unit(k);
        if (c >= 0xDC00 && c <= 0xDFFF) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (k + 3 >= in.size()) return false;
            const unsigned low = unit(k + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            k += 2;
        }
        if (c < 0x80) {
            *out += static_cast<char>(c);
        } else if (c < 0x800) {
            *out += static_cast<char>(0xC0 | c >> 6);
            *out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *out += static_cast<char>(0xE0 | c >> 12);
            *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            *out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | c >> 18);
            *out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            *out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return true;
}

// (Only ever given what utf8_from_utf16 made, with ASCII digits spliced in.)
std::string utf16_from_utf8(const std::string& in, bool big_endian) {
    std::string out;
    const auto put = [&](unsigned u) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += big_endian ? hi : lo;
        out += big_endian ? lo : hi;
    };
    for (std::size_t k = 0; k < in.size();) {
        const auto b = static_cast<unsigned char>(in[k]);
        const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        unsigned c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        for (std::size_t m = 1; m < n && k + m < in.size(); ++m) c = c << 6 | (static_cast<unsigned char>(in[k + m]) & 0x3F);
        k += n;
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

// The file's text with DialogX and DialogY set and nothing else changed, byte
// for byte: only the two values are replaced in the original text (a
// parse-and-save would re-escape entities, reflow the prolog and drop line
// ends outside the root). UTF-8 (with or without a byte-order mark) and
// UTF-16 with its mark, which is spliced as UTF-8 and written back as it
// was; false for others.
bool spliced_utf8(const std::string& text, int32_t x, int32_t y, std::string* out);
bool spliced(const std::string& bytes, int32_t x, int32_t y, std::string* out) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        if (!spliced_utf8(bytes.substr(3), x, y, out)) return false;
        out->insert(0, "\xEF\xBB\xBF");
        return true;
    }
    for (const bool big_endian : {false, true}) {
        if (bytes.compare(0, 2, big_endian ? "\xFE\xFF" : "\xFF\xFE") != 0) continue;
        std::string text, done;
        if (!utf8_from_utf16(bytes.substr(2), big_endian, &text) || !spliced_utf8(text, x, y, &done)) return false;
        *out = bytes.substr(0, 2) + utf16_from_utf8(done, big_endian);
        return true;
    }
    return spliced_utf8(bytes, x, y, out);
}
bool spliced_utf8(const std::string& text, int32_t x, int32_t y, std::string* out) {
    pugi::xml_document doc;
    if (!doc.load_buffer(text.data(), text.size(), pugi::parse_full | pugi::parse_ws_pcdata, pugi::encoding_utf8))
        return false;
    struct Edit {
        std::size_t at, length;
        std::string with;
    };
    std::vector<Edit> edits;
    for (auto [key, v] : {std::make_pair("DialogX", x), std::make_pair("DialogY", y)}) {
        const pugi::xml_node node = find_key(doc, key);
        const std::ptrdiff_t at = node ? node.offset_debug() : -1;
        if (at < 0 || static_cast<std::size_t>(at) >= text.size()) return false;
        const AttributeSpan span = find_attribute(text, static_cast<std::size_t>(at), "value");
        if (span.first != std::string::npos)
            edits.push_back({span.first, span.last - span.first, std::to_string(v)});
        else if (span.end_of_name != std::string::npos)
            edits.push_back({span.end_of_name, 0, " value=\"" + std::to_string(v) + "\""});
        else
            return false;
    }
    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at > b.at; });
    *out = text;
    for (const Edit& e : edits) out->replace(e.at, e.length, e.with);
    return true;
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
    std::string original, text;
    if (!read_bytes(path, &original, error)) return false;
    if (spliced(original, x, y, &text)) return replace_file(path, text, error);
    // Another encoding (UTF-32, UTF-16 without a mark): parsed and written
    // back whole.
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
