// The settings file through MSXML (DOMDocument 6.0, falling back to 3.0).
#include <windows.h>
#include <msxml2.h>

#include <string>

#include "platform/dialog_settings.h"

namespace platform {

namespace {

// mingw's headers have msxml2.h but not msxml6.h.
const CLSID kDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
// The DOM interfaces (mingw's msxml2.h declares them without their IDs).
const IID kIXMLDOMDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
const IID kIXMLDOMElement = {0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
const IID kIXMLDOMDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* operator->() const { return p_; }
    T** out() {
        reset();
        return &p_;
    }
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    explicit Bstr(const std::wstring& s) : b_(SysAllocString(s.c_str())) {}
    Bstr() = default;
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    BSTR* out() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }

private:
    BSTR b_ = nullptr;
};

// COM for the calling thread, as long as this lives.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string narrow(const wchar_t* text) {
    std::string out;
    for (; text && *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

bool load(const std::string& path, ComPtr<IXMLDOMDocument>* doc, std::string* error) {
    if (FAILED(CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                kIXMLDOMDocument, reinterpret_cast<void**>(doc->out())))) {
        if (FAILED(CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER,
                                    kIXMLDOMDocument,
                                    reinterpret_cast<void**>(doc->out())))) {
            *error = "MSXML is not available";
            return false;
        }
        ComPtr<IXMLDOMDocument2> doc2;
        if (SUCCEEDED((*doc)->QueryInterface(kIXMLDOMDocument2,
                                             reinterpret_cast<void**>(doc2.out())))) {
            VARIANT xpath;
            VariantInit(&xpath);
            xpath.vt = VT_BSTR;
            xpath.bstrVal = SysAllocString(L"XPath");
            Bstr name(L"SelectionLanguage");
            doc2->setProperty(name.get(), xpath);
            VariantClear(&xpath);
        }
    }
    (*doc)->put_async(VARIANT_FALSE);
    VARIANT file;
    VariantInit(&file);
    file.vt = VT_BSTR;
    file.bstrVal = SysAllocString(widen(path).c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    const HRESULT hr = (*doc)->load(file, &ok);
    VariantClear(&file);
    if (FAILED(hr) || ok != VARIANT_TRUE) {
        *error = "cannot read " + path;
        return false;
    }
    return true;
}

bool find_key(IXMLDOMDocument* doc, const wchar_t* key, ComPtr<IXMLDOMElement>* element) {
    ComPtr<IXMLDOMNode> node;
    Bstr query(std::wstring(L"/configuration/appSettings/add[@key='") + key + L"']");
    if (doc->selectSingleNode(query.get(), node.out()) != S_OK || !node) return false;
    return SUCCEEDED(node->QueryInterface(kIXMLDOMElement,
                                          reinterpret_cast<void**>(element->out())));
}

}  // namespace

bool read_dialog_position(const std::string& path, int32_t* x, int32_t* y, std::string* error) {
    ComScope com;
    ComPtr<IXMLDOMDocument> doc;
    if (!load(path, &doc, error)) return false;
    int32_t* targets[] = {x, y};
    const wchar_t* keys[] = {L"DialogX", L"DialogY"};
    for (int k = 0; k < 2; ++k) {
        ComPtr<IXMLDOMElement> element;
        if (!find_key(doc.get(), keys[k], &element)) {
            *error = "the setting " + narrow(keys[k]) + " is missing";
            return false;
        }
        Bstr name(L"value");
        VARIANT value;
        VariantInit(&value);
        element->getAttribute(name.get(), &value);
        const std::string text = value.vt == VT_BSTR ? narrow(value.bstrVal) : std::string();
        VariantClear(&value);
        if (!parse_setting_int(text, targets[k])) {
            *error = "the setting " + narrow(keys[k]) + " is not an integer";
            return false;
        }
    }
    return true;
}

bool write_dialog_position(const std::string& path, int32_t x, int32_t y, std::string* error) {
    ComScope com;
    ComPtr<IXMLDOMDocument> doc;
    if (!load(path, &doc, error)) return false;
    ComPtr<IXMLDOMElement> ex, ey;
    if (!find_key(doc.get(), L"DialogX", &ex) || !find_key(doc.get(), L"DialogY", &ey)) {
        *error = "the settings DialogX and DialogY are missing";
        return false;
    }
    for (auto [element, v] : {std::make_pair(ex.get(), x), std::make_pair(ey.get(), y)}) {
        Bstr name(L"value");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(std::to_wstring(v).c_str());
        element->setAttribute(name.get(), value);
        VariantClear(&value);
    }
    VARIANT file;
    VariantInit(&file);
    file.vt = VT_BSTR;
    file.bstrVal = SysAllocString(widen(path).c_str());
    const HRESULT hr = doc->save(file);
    VariantClear(&file);
    if (FAILED(hr)) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}


}  // namespace platform
