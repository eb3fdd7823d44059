// The browser for scripts: the line protocol that the README documents.
//
// It prints the title and the instruction text once, then "Selected:
// <folder>" (and "Status: <text>" when the caller asked for a status line)
// before each "> " prompt, and echoes each command it reads. Commands: a
// path (either form, relative to the selection, or from "~") selects that
// folder, ".." its parent, an empty line chooses the selection, "q" or the
// end of input cancels.
//
// A command that the browser refuses cancels the picker, its reason on
// standard error: a script must never go on to choose a folder that it did
// not name, as an empty line after a mistyped path would. A line holding a
// NUL byte or longer than kLongestLine is refused whole, never cut short
// into another path, as soon as it shows: the rest of the input is not read.
// Every line is taken exactly, blanks included, so that a folder whose name
// ends in a space can be named.
#include <optional>
#include <string>

#include "platform/posix/browser/BrowserFaces.h"
#include "platform/posix/browser/BrowserSession.h"
#include "platform/posix/Console.h"
#include "platform/posix/Names.h"

namespace posix {
namespace {

constexpr std::size_t kLongestLine = 32768;

class LineProtocol {
public:
    LineProtocol(BROWSEINFOW& info, const Console& console)
        : console_(console), session_(info, [this](const std::string& reason) { Complain(reason); }) {}

    PIDLIST_ABSOLUTE Run() {
        session_.Open();
        WriteText(console_.output,
                  "== " + DisplayText(session_.Title()) + " ==\n" + DisplayText(session_.Instruction()) + "\n");
        for (;;) {
            Prompt();
            const std::optional<InputLine> line = ReadLine(console_.input, kLongestLine);
            if (!line) {
                WriteText(console_.output, "\n");
                return nullptr;
            }
            Echo(*line);
            const Next next = Execute(*line);
            if (next == Next::Choose) return session_.Choose();
            if (next == Next::Cancel) return nullptr;
        }
    }

private:
    enum class Next { Prompt, Choose, Cancel };

    void Prompt() {
        std::string text = "Selected: " + DisplayPath(session_.Selection()) + "\n";
        if (session_.ShowsStatus()) text += "Status: " + DisplayText(session_.Status()) + "\n";
        WriteText(console_.output, text + "> ");
    }

    void Echo(const InputLine& line) {
        WriteText(console_.output, Shown(line) + "\n");
    }

    static std::string Shown(const InputLine& line) {
        switch (line.refused) {
        case InputLine::Refused::TooLong: return "(a line of more than " + std::to_string(kLongestLine) + " bytes)";
        case InputLine::Refused::HoldsNul: return "(a line holding a NUL byte)";
        case InputLine::Refused::No: break;
        }
        return DisplayText(WidenText(line.text));
    }

    Next Execute(const InputLine& line) {
        switch (line.refused) {
        case InputLine::Refused::TooLong:
            return Refuse("A line of more than " + std::to_string(kLongestLine) + " bytes is refused.");
        case InputLine::Refused::HoldsNul: return Refuse("A line holding a NUL byte is refused.");
        case InputLine::Refused::No: break;
        }
        const std::string& command = line.text;
        BrowserSession::Refusal refusal;
        if (command.empty()) {
            refusal = session_.ChoiceRefusal();
            if (!refusal) return Next::Choose;
        } else if (command == "q") {
            return Next::Cancel;
        } else if (command == "..") {
            refusal = session_.GoUp();
        } else {
            refusal = session_.GoTo(WidenText(command));
        }
        return refusal ? Refuse(*refusal) : Next::Prompt;
    }

    Next Refuse(const std::string& reason) {
        Complain(reason);
        Complain("The picker is cancelled.");
        return Next::Cancel;
    }

    void Complain(const std::string& reason) { WriteText(console_.error, reason + "\n"); }

    const Console console_;
    BrowserSession session_;
};

}  // namespace

PIDLIST_ABSOLUTE RunLineProtocol(BROWSEINFOW& info, const Console& console) {
    return LineProtocol(info, console).Run();
}

}  // namespace posix
