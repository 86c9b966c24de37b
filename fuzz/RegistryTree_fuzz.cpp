// The REGEDIT4 reader on arbitrary bytes: whatever it reads, written back and read again, gives
// the same tree, and that tree writes the same text. Roots without values or subkeys are left
// out of the comparison: a root always exists, so the text form never carries an empty one.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/RegistryTree.h"

namespace {

using Key = RegistryTree::Key;

void Fail(const char* what, const std::string& name) {
    std::fprintf(stderr, "registry fault: %s at '%s'\n", what, name.c_str());
    std::abort();
}

void CompareKeys(const Key& a, const Key& b) {
    if (a.Name() != b.Name())
        Fail("key name changed", a.Name());
    if (a.ValueCount() != b.ValueCount())
        Fail("value count changed", a.Name());
    for (size_t i = 0; i < a.ValueCount(); ++i) {
        const RegistryTree::Value& x = a.ValueAt(i);
        const RegistryTree::Value& y = b.ValueAt(i);
        if (x.name != y.name || x.type != y.type || x.data != y.data)
            Fail("value changed", a.Name() + " / " + x.name);
    }
    if (a.SubkeyCount() != b.SubkeyCount())
        Fail("subkey count changed", a.Name());
    for (size_t i = 0; i < a.SubkeyCount(); ++i)
        CompareKeys(a.SubkeyAt(i), b.SubkeyAt(i));
}

bool IsEmpty(const Key* key) {
    return !key || (key->ValueCount() == 0 && key->SubkeyCount() == 0);
}

// RegistryTree keeps its top key to itself, so the roots to compare are found by the names
// that the section headers of a text start with (as Parse trims them, roughly).
void AddRootNames(const std::string& text, std::vector<std::string>& names) {
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        size_t b = text.find_first_not_of(" \t\r", start);
        size_t e = text.find_last_not_of(" \t\r", end - 1);
        if (b < end && e != std::string::npos && e > b && text[b] == '[' && text[e] == ']') {
            std::string path = text.substr(b + 1, e - b - 1);
            names.push_back(path.substr(0, path.find('\\')));
        }
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RegistryTree once = RegistryTree::Parse(std::string(reinterpret_cast<const char*>(data), size));
    const std::string text = once.Format();
    RegistryTree again = RegistryTree::Parse(text);
    if (again.Format() != text)
        Fail("the text form changed on a second reading", "");
    std::vector<std::string> roots;
    AddRootNames(std::string(reinterpret_cast<const char*>(data), size), roots);
    AddRootNames(text, roots);
    for (const std::string& root : roots) {
        const Key* a = once.Find(root);
        const Key* b = again.Find(root);
        if (IsEmpty(a) != IsEmpty(b))
            Fail(IsEmpty(a) ? "a root appeared" : "a root was lost", root);
        if (!IsEmpty(a))
            CompareKeys(*a, *b);
    }
    return 0;
}
