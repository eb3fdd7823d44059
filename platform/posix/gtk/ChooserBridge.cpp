#include "platform/posix/gtk/ChooserBridge.h"

#include <utility>

#include "platform/posix/Console.h"
#include "platform/posix/Names.h"

namespace posix {
namespace {

// A system path as the session takes it: a backslash in a name stays part
// of the name, a byte that is not UTF-8 comes back as the same byte.
std::wstring Widened(const std::string& path) { return WidenName(path.data(), path.size()); }

}  // namespace

ChooserBridge::ChooserBridge(BROWSEINFOW& info, BrowserSession::Reporter report)
    : session_(info, std::move(report)) {}

std::optional<std::string> ChooserBridge::Open() {
    session_.Open();
    return NativePath(session_.Selection().c_str());
}

std::optional<std::string> ChooserBridge::Follow(const std::string& shown) {
    const std::wstring target = session_.Resolve(Widened(shown));
    // A path that is no folder of the tree (a name half typed) moves
    // nothing, and the note stays.
    if (target == session_.Selection() || session_.GoTo(Widened(shown))) return std::nullopt;
    refused_.reset();
    if (session_.Selection() == target) return std::nullopt;
    return NativePath(session_.Selection().c_str());
}

std::string ChooserBridge::Note() const {
    std::string note;
    if (session_.ShowsStatus()) note = DisplayText(session_.Status());
    const BrowserSession::Refusal refusal = refused_ ? refused_ : session_.ChoiceRefusal();
    if (refusal) note += (note.empty() ? "" : "\n") + *refusal;
    return note;
}

ChooserBridge::Answer ChooserBridge::Accept(const std::optional<std::string>& chosen) {
    if (!chosen) {
        refused_ = "No folder is selected.";
        return {nullptr, refused_};
    }
    // The selection itself is handed back even when it is gone by now, as
    // every face hands it back, and the caller finds it missing; a path
    // typed into the chooser must name a folder, as a typed line must.
    const bool selected = session_.Resolve(Widened(*chosen)) == session_.Selection();
    refused_ = selected ? std::nullopt : session_.GoTo(Widened(*chosen));
    if (!refused_) refused_ = session_.ChoiceRefusal();
    if (refused_) return {nullptr, refused_};
    return {session_.Choose(), std::nullopt};
}

}  // namespace posix
