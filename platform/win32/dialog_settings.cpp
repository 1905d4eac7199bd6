// The settings file through MSXML (DOMDocument 6.0, falling back to 3.0).
#include <windows.h>
#include <msxml2.h>

#include <cstdio>
#include <string>

#include "platform/debug_output.h"
#include "platform/dialog_settings.h"
#include "platform/regular_file.h"
#include "platform/text_codec.h"
#include "platform/gui_thread.h"
#include "platform/win32/unique_resource.h"

namespace platform {

namespace {

// mingw's headers have msxml2.h but not msxml6.h.
const CLSID kDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
// The DOM interfaces (mingw's msxml2.h declares them without their IDs).
const IID kIXMLDOMDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
const IID kIXMLDOMElement = {0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
const IID kIXMLDOMDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

using win32::com_ptr;
using win32::unique_bstr;
using win32::unique_variant;

// A VARIANT holding a copy of `text`.
void set_text(unique_variant* variant, const std::wstring& text) {
    variant->clear();
    variant->get()->vt = VT_BSTR;
    variant->get()->bstrVal = SysAllocString(text.c_str());
}


bool load(const std::string& path, com_ptr<IXMLDOMDocument>* doc, std::string* error) {
    // Only a regular file is read; the reason names what is wrong.
    std::string reason;
    if (!unique_file(open_regular_file(path.c_str(), &reason))) {
        *error = "cannot read " + path + ": " + reason;
        return false;
    }
    if (FAILED(CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, kIXMLDOMDocument,
                                doc->put()))) {
        if (FAILED(CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER,
                                    kIXMLDOMDocument, doc->put()))) {
            *error = "MSXML is not available";
            return false;
        }
        com_ptr<IXMLDOMDocument2> doc2;
        if (SUCCEEDED((*doc)->QueryInterface(kIXMLDOMDocument2, doc2.put()))) {
            unique_variant xpath;
            set_text(&xpath, L"XPath");
            const unique_bstr name(SysAllocString(L"SelectionLanguage"));
            doc2->setProperty(name.get(), *xpath.get());
        }
    }
    (*doc)->put_async(VARIANT_FALSE);
    (*doc)->put_preserveWhiteSpace(VARIANT_TRUE);  // the user's layout survives a save
    unique_variant file;
    set_text(&file, wide_from_utf8(path));
    VARIANT_BOOL ok = VARIANT_FALSE;
    const HRESULT hr = (*doc)->load(*file.get(), &ok);
    if (FAILED(hr) || ok != VARIANT_TRUE) {
        *error = "cannot read " + path;
        return false;
    }
    return true;
}

// MSXML writes the document to `file`.
HRESULT save_to(IXMLDOMDocument* doc, const std::wstring& file) {
    unique_variant target;
    set_text(&target, file);
    return doc->save(*target.get());
}

// Saves the document as one step: to a file of this process's own name in
// the same folder, which then replaces the old one (ReplaceFileW keeps the
// old file's attributes and ACLs), so a reader, or the next start after a
// crash, sees the old file or the new one, never a part. Replacing needs
// delete access to the old file: while another process holds it the
// replacement is retried briefly, then this save is skipped (a lost
// position is harmless, a lost file is not). In a folder where no file can
// be created (read-only, the file itself writable) the file is written in
// place, as the only way left.
bool save_atomically(IXMLDOMDocument* doc, const std::string& path, std::string* error) {
    const std::wstring target = wide_from_utf8(path);
    const std::wstring temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    const HRESULT saved = save_to(doc, temp);
    if (FAILED(saved)) {
        DeleteFileW(temp.c_str());
        // Only a folder that refuses new files gets the in-place write; any
        // other failure (a full disk) must not touch the old file.
        const bool refused = saved == E_ACCESSDENIED || saved == HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT);
        if (refused && SUCCEEDED(save_to(doc, target))) return true;
        *error = "cannot write " + path;
        return false;
    }
    DWORD code = 0;
    for (int attempt = 0;; ++attempt) {
        if (ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                         nullptr, nullptr))
            return true;
        code = GetLastError();
        if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
            // The old file is gone and the new one kept its temporary name.
            if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
            code = GetLastError();
            break;
        }
        const bool busy = code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
                          code == ERROR_UNABLE_TO_REMOVE_REPLACED || code == ERROR_LOCK_VIOLATION;
        if (!busy || attempt == 10) break;
        Sleep(20);
    }
    DeleteFileW(temp.c_str());
    *error = "cannot replace " + path + " (Windows error " + std::to_string(code) +
             "): the position is not saved this time";
    return false;
}

bool find_key(IXMLDOMDocument* doc, const wchar_t* key, com_ptr<IXMLDOMElement>* element) {
    com_ptr<IXMLDOMNode> node;
    const unique_bstr query(
        SysAllocString((std::wstring(L"/configuration/appSettings/add[@key='") + key + L"']").c_str()));
    if (doc->selectSingleNode(query.get(), node.put()) != S_OK || !node) return false;
    return SUCCEEDED(node->QueryInterface(kIXMLDOMElement, element->put()));
}

}  // namespace

bool read_dialog_position(const std::string& path, int32_t* x, int32_t* y, std::string* error) {
    const SingleThreadedApartment com;
    com_ptr<IXMLDOMDocument> doc;
    if (!load(path, &doc, error)) return false;
    int32_t* targets[] = {x, y};
    const wchar_t* keys[] = {L"DialogX", L"DialogY"};
    for (int k = 0; k < 2; ++k) {
        com_ptr<IXMLDOMElement> element;
        if (!find_key(doc.get(), keys[k], &element)) {
            *error = "the setting " + utf8_from_wide(keys[k]) + " is missing";
            return false;
        }
        const unique_bstr name(SysAllocString(L"value"));
        unique_variant value;
        element->getAttribute(name.get(), value.get());
        const std::string text =
            value.get()->vt == VT_BSTR ? utf8_from_wide(value.get()->bstrVal) : std::string();
        if (!parse_setting_int(text, targets[k])) {
            *error = "the setting " + utf8_from_wide(keys[k]) + " is not an integer";
            return false;
        }
    }
    return true;
}

bool read_app_setting(const std::string& path, const char* key, std::string* value,
                      std::string* error) {
    const SingleThreadedApartment com;
    com_ptr<IXMLDOMDocument> doc;
    if (!load(path, &doc, error)) return false;
    com_ptr<IXMLDOMElement> element;
    if (!find_key(doc.get(), wide_from_utf8(key).c_str(), &element)) {
        *error = std::string("the setting ") + key + " is missing";
        return false;
    }
    const unique_bstr name(SysAllocString(L"value"));
    unique_variant text;
    element->getAttribute(name.get(), text.get());
    value->clear();
    if (text.get()->vt == VT_BSTR && text.get()->bstrVal != nullptr) {
        const std::u16string wide(reinterpret_cast<const char16_t*>(text.get()->bstrVal));
        *value = utf8_from_utf16(wide.c_str());
    }
    return true;
}

bool write_dialog_position(const std::string& path, int32_t x, int32_t y, std::string* error) {
    const SingleThreadedApartment com;
    com_ptr<IXMLDOMDocument> doc;
    if (!load(path, &doc, error)) return false;
    com_ptr<IXMLDOMElement> ex, ey;
    if (!find_key(doc.get(), L"DialogX", &ex) || !find_key(doc.get(), L"DialogY", &ey)) {
        *error = "the settings DialogX and DialogY are missing";
        return false;
    }
    for (auto [element, v] : {std::make_pair(ex.get(), x), std::make_pair(ey.get(), y)}) {
        const unique_bstr name(SysAllocString(L"value"));
        unique_variant value;
        set_text(&value, std::to_wstring(v));
        element->setAttribute(name.get(), *value.get());
    }
    return save_atomically(doc.get(), path, error);
}

}  // namespace platform
