#include "tests/support/TempTree.h"

#include "platform/FindListing.h"

namespace {

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return name.empty() ? folder : folder + L"\\" + name;
}

void Collect(const std::wstring& folder, const std::wstring& prefix, std::set<std::wstring>& out) {
    for (const native::Entry& entry : native::ListDir(folder)) {
        const std::wstring relative = prefix + entry.name;
        if (entry.isDir) {
            out.insert(relative + L"\\");
            Collect(folder + L"\\" + entry.name, relative + L"\\", out);
        } else {
            out.insert(relative);
        }
    }
}

std::wstring ParentOf(const std::wstring& path) {
    const std::size_t at = path.rfind(L'\\');
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

void MakeDirs(const std::wstring& path) {
    if (path.empty() || native::IsDir(path).value_or(false)) return;
    MakeDirs(ParentOf(path));
    native::MakeDir(path);
}

}  // namespace

TempTree::TempTree() : root_(native::MakeTempFolder().c_str()) {}

TempTree::TempTree(const std::wstring& base) : root_(native::MakeTempFolder(base).c_str()) {}

TempTree::~TempTree() { native::RemoveAll(std::wstring(root_)); }

CString TempTree::Path(const std::wstring& relative) const {
    return CString(Join(std::wstring(root_), relative).c_str());
}

void TempTree::MakeDir(const std::wstring& relative) const { MakeDirs(std::wstring(Path(relative))); }

void TempTree::WriteFile(const std::wstring& relative, const std::string& bytes) const {
    const std::wstring path(Path(relative));
    MakeDirs(ParentOf(path));
    native::WriteFile(path, bytes);
}

std::optional<std::string> TempTree::ReadFile(const std::wstring& relative) const {
    return native::ReadFile(std::wstring(Path(relative)));
}

bool TempTree::Exists(const std::wstring& relative) const {
    return native::IsDir(std::wstring(Path(relative))).has_value();
}

bool TempTree::IsDir(const std::wstring& relative) const {
    return native::IsDir(std::wstring(Path(relative))).value_or(false);
}

std::set<std::wstring> TempTree::List(const std::wstring& relative) const {
    std::set<std::wstring> out;
    Collect(std::wstring(Path(relative)), L"", out);
    return out;
}

void TempTree::SetReadOnly(const std::wstring& relative, bool readOnly) const {
    native::SetReadOnly(std::wstring(Path(relative)), readOnly);
}

void TempTree::Remove(const std::wstring& relative) const { native::RemoveAll(std::wstring(Path(relative))); }

std::set<std::wstring> PublishedCaption(const std::wstring& shortName, const std::wstring& file) {
    const std::wstring content = shortName + L"\\";
    const std::wstring folder = content + file.substr(0, file.rfind(L'.')) + L"\\";
    return {content, folder, folder + L"video\\", folder + L"video\\vtt\\", folder + L"video\\vtt\\" + file};
}

std::set<std::wstring> Union(std::initializer_list<std::set<std::wstring>> parts) {
    std::set<std::wstring> all;
    for (const std::set<std::wstring>& part : parts) all.insert(part.begin(), part.end());
    return all;
}

std::vector<std::wstring> PlatformListing(const CString& pattern) {
    std::vector<std::wstring> names;
    FindListing listing(pattern);
    if (!listing.IsOpen()) return names;
    do {
        names.push_back(listing.Entry().cFileName);
    } while (listing.Next());
    return names;
}
