// The desktop's face of the folder browser: a GTK 3 file chooser in
// select-folder mode, titled as the callback set it. GTK brings path typing
// (Ctrl-L), hidden folders (Ctrl-H) and new folders; the browse's session
// (ChooserBridge.h) decides everything else, as it does for the terminal's
// faces:
//
//   +-- Browse to the starting folder: ----------------------------+
//   | [ media | VOD ]                        GTK's path bar         |
//   |  Home      | Empty                                            |
//   |  Desktop   | Intro                     the current folder's   |
//   |  ...       | Lab                       subfolders             |
//   | Flat layout                            the note: the status   |
//   | This folder cannot be chosen.          line, why OK can't     |
//   |                              [Cancel] [OK]                    |
//   +---------------------------------------------------------------+
//
// The selection is the folder highlighted in the list, or the current
// folder when none is; every change of it goes to the session, which tells
// the callback, and OK follows the callback's BFFM_ENABLEOK. OK with a
// folder that cannot be chosen keeps the chooser open and the note says
// why; Cancel, Esc and closing the window cancel.
#include <optional>
#include <string>

#include "platform/posix/Console.h"
#include "platform/posix/gtk/ChooserBridge.h"
#include "platform/posix/gtk/GtkDialogs.h"

namespace posix {
namespace {

constexpr int kMargin = 6;
// OK's response. GTK's own accept responses would let the chooser act on a
// typed path first: make a folder of a name that is not there (a typo in
// the source chooser would write to the disk), or step into a folder typed
// with a separator at its end. The session decides instead, as for every
// face: a typed path must name a folder. The new-folder button still makes
// folders, when asked to.
constexpr int kChoose = 1;

class Chooser {
public:
    Chooser(BROWSEINFOW& info, const Console& console)
        : console_(console), bridge_(info, [this](const std::string& reason) { Complain(reason); }) {}

    PIDLIST_ABSOLUTE Run() {
        const std::optional<std::string> start = bridge_.Open();
        Build();
        if (start) gtk_file_chooser_set_current_folder(Files(), start->c_str());
        g_signal_connect(Files(), "selection-changed", G_CALLBACK(&Chooser::OnMoved), this);
        g_signal_connect(Files(), "current-folder-changed", G_CALLBACK(&Chooser::OnMoved), this);
        Refresh();
        for (;;) {
            if (gtk_dialog_run(GTK_DIALOG(window_.get())) != kChoose) return nullptr;
            const ChooserBridge::Answer answer = bridge_.Accept(Shown());
            if (answer.item != nullptr) return answer.item;
            Refresh();
        }
    }

private:
    void Build() {
        const BrowserSession& session = bridge_.Session();
        window_.reset(gtk_file_chooser_dialog_new(DisplayText(session.Title()).c_str(), nullptr,
                                                  GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel",
                                                  GTK_RESPONSE_CANCEL, "_OK", kChoose, nullptr));
        GtkWindow* window = GTK_WINDOW(window_.get());
        gtk_dialog_set_default_response(GTK_DIALOG(window), kChoose);
        gtk_window_set_modal(window, TRUE);
        gtk_window_set_position(window, GTK_WIN_POS_CENTER);
        gtk_window_set_keep_above(window, session.Topmost() ? TRUE : FALSE);
        gtk_file_chooser_set_local_only(Files(), TRUE);
        gtk_file_chooser_set_create_folders(Files(), TRUE);

        // The instruction ("Open") has no place in a GTK chooser: alone above
        // GTK's path bar it read as a stray label. It is the dialog's
        // description for assistive technology instead.
        atk_object_set_description(gtk_widget_get_accessible(window_.get()),
                                   DisplayText(session.Instruction()).c_str());
        GtkBox* content = GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(window)));
        note_ = Label("");
        gtk_box_pack_end(content, note_, FALSE, FALSE, 0);
    }

    static GtkWidget* Label(const std::string& text) {
        GtkWidget* label = gtk_label_new(text.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_widget_set_margin_start(label, kMargin);
        gtk_widget_set_margin_end(label, kMargin);
        gtk_widget_set_margin_top(label, kMargin);
        gtk_widget_set_margin_bottom(label, kMargin);
        return label;
    }

    GtkFileChooser* Files() const { return GTK_FILE_CHOOSER(window_.get()); }

    // The folder the chooser shows as its selection; nothing while it shows
    // none (a folder still loading).
    std::optional<std::string> Shown() const {
        const OwnedText path(gtk_file_chooser_get_filename(Files()));
        if (path == nullptr) return std::nullopt;
        return std::string(path.get());
    }

    static void OnMoved(GtkFileChooser*, gpointer self) { static_cast<Chooser*>(self)->Moved(); }

    void Moved() {
        const std::optional<std::string> shown = Shown();
        if (!shown) return;
        // The callback's new selection takes effect as GTK loads it; the
        // change it brings then finds the session already there.
        if (const std::optional<std::string> instead = bridge_.Follow(*shown)) {
            gtk_file_chooser_set_current_folder(Files(), instead->c_str());
        }
        Refresh();
    }

    void Refresh() {
        gtk_dialog_set_response_sensitive(GTK_DIALOG(window_.get()), kChoose,
                                          bridge_.MayChoose() ? TRUE : FALSE);
        const std::string note = bridge_.Note();
        gtk_label_set_text(GTK_LABEL(note_), note.c_str());
        gtk_widget_set_visible(note_, note.empty() ? FALSE : TRUE);
    }

    // A start folder that the callback asked for and that cannot be shown
    // has no place in the chooser: it goes where the terminal's faces put it.
    void Complain(const std::string& reason) { WriteText(console_.error, reason + "\n"); }

    const Console console_;
    ChooserBridge bridge_;
    OwnedWindow window_;
    GtkWidget* note_ = nullptr;  // owned by the window
};

}  // namespace

PIDLIST_ABSOLUTE RunGtkChooser(BROWSEINFOW& info, const Console& console) { return Chooser(info, console).Run(); }

}  // namespace posix
