// The settings file through pugixml (the posix stand-in of MSXML).
#include <pugixml.hpp>

#include "platform/dialog_settings.h"

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
    const pugi::xml_parse_result r = doc.load_file(path.c_str(), pugi::parse_full | pugi::parse_ws_pcdata);
    if (!r) {
        *error = "cannot read " + path + ": " + r.description();
        return false;
    }
    if (encoding != nullptr) *encoding = r.encoding;
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
    pugi::xml_document doc;
    pugi::xml_encoding encoding = pugi::encoding_auto;
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
    // Written back as parsed, in its own encoding: no re-indenting (which
    // would also grow with the nesting depth) and no declaration added.
    if (!doc.save_file(path.c_str(), "", pugi::format_raw | pugi::format_no_declaration,
                       encoding)) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}


}  // namespace platform
