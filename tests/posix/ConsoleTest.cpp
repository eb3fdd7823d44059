// What the stand-in prints and reads at the terminal: the cleaning of every
// text shown, and line input that no stream can make unbounded.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <iterator>
#include <string>

#include "platform/posix/Console.h"
#include "platform/posix/StatusLine.h"
#include "tests/posix/PseudoTerminal.h"

namespace {

TEST(ConsoleTest, DisplayTextShowsNothingThatDrivesTheTerminal) {
    const struct {
        std::wstring text;
        const char* shown;
        bool multiline;
    } cases[] = {
        {L"plain \u00e9t\u00e9 \xD83D\xDE00", "plain \xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80", false},
        {L"a\x1b]0;pwned\x07z", "a?]0;pwned?z", false},
        {L"csi\x9b" L"2J", "csi?2J", false},
        {L"line\nbreak\r", "line?break?", false},
        {L"line\r\nbreak", "line\nbreak", true},
        {L"sep\u2028par\u2029", "sep?par?", true},
        {L"rtl\u202Egpj.exe", "rtl<U+202E>gpj.exe", false},
        {L"\u202A\u202B\u202C\u202D\u2066\u2067\u2068\u2069", "<U+202A><U+202B><U+202C><U+202D><U+2066><U+2067><U+2068><U+2069>", false},
        {L"marks\u200E\u200F\u061C", "marks<U+200E><U+200F><U+061C>", false},
        {L"lone\xD800 raw\xDCFF", "lone\xef\xbf\xbd raw\xef\xbf\xbd", false},
        // Nothing that draws nothing passes unseen; the joiners stay.
        {L"Lesson\u200B01", "Lesson<U+200B>01", false},
        {L"\u00AD\u180E\u2060\u2064\uFEFF\uFFF9\uFFFB", "<U+00AD><U+180E><U+2060><U+2064><U+FEFF><U+FFF9><U+FFFB>", false},
        {L"tag\xDB40\xDC01\xDB40\xDC7F end\xD834\xDD73\xD834\xDD7A", "tag<U+E0001><U+E007F> end<U+1D173><U+1D17A>", false},
        {L"\u200C\u200D \u2065 \xD834\xDD72", "\xe2\x80\x8c\xe2\x80\x8d \xe2\x81\xa5 \xf0\x9d\x85\xb2", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shown, posix::DisplayText(c.text, c.multiline)) << c.shown;
    }
    EXPECT_EQ("/srv/rtl<U+202E>/a?b", posix::DisplayPath(L"\\srv\\rtl\u202E\\a\x1b" L"b"));
}

// The lines, read one after another from `input`.
std::vector<posix::InputLine> ReadAll(const std::string& input, std::size_t limit) {
    int pipeFds[2];
    EXPECT_EQ(0, ::pipe(pipeFds));
    // The pipe holds 64 KiB; the longest input here stays below that.
    EXPECT_EQ(static_cast<ssize_t>(input.size()), ::write(pipeFds[1], input.data(), input.size()));
    ::close(pipeFds[1]);
    std::vector<posix::InputLine> lines;
    while (const std::optional<posix::InputLine> line = posix::ReadLine(pipeFds[0], limit)) lines.push_back(*line);
    ::close(pipeFds[0]);
    return lines;
}

TEST(ConsoleTest, ReadLineTakesLinesExactlyAndRefusesLongOnesAndNulWhole) {
    using Refused = posix::InputLine::Refused;
    const std::vector<posix::InputLine> lines = ReadAll("one\r\n" + std::string(11, 'x') + "\n" +
                                                            std::string(10, 'y') + "\n\n trailing \n" +
                                                            std::string("nul\0rest\nlast\r", 14),
                                                        10);
    const struct {
        const char* text;
        bool ended;
        Refused refused;
    } expected[] = {{"one", true, Refused::No},        {"", false, Refused::TooLong},
                    {"yyyyyyyyyy", true, Refused::No}, {"", true, Refused::No},
                    {" trailing ", true, Refused::No}, {"", false, Refused::HoldsNul},
                    {"last\r", false, Refused::No}};
    ASSERT_EQ(std::size(expected), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].text, lines[i].text);
        EXPECT_EQ(expected[i].ended, lines[i].ended);
        EXPECT_EQ(expected[i].refused, lines[i].refused);
    }
    EXPECT_TRUE(ReadAll("", 10).empty());
}

// `yes | tr -d '\n'` or /dev/zero never end a line: the refusal comes as
// soon as the line passes the limit or shows a NUL, without reading on.
TEST(ConsoleTest, EndlessInputIsRefusedAtOnce) {
    int pipeFds[2];
    ASSERT_EQ(0, ::pipe(pipeFds));
    const std::string endless(60 * 1024, 'y');  // below what the pipe holds; the writer stays open
    ASSERT_EQ(static_cast<ssize_t>(endless.size()), ::write(pipeFds[1], endless.data(), endless.size()));
    const std::optional<posix::InputLine> line = posix::ReadLine(pipeFds[0], 32768);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->refused, posix::InputLine::Refused::TooLong);
    int unread = 0;
    ASSERT_EQ(0, ::ioctl(pipeFds[0], FIONREAD, &unread));
    EXPECT_GT(unread, 20 * 1024) << "the rest of the input is left unread";
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);

    const int zero = ::open("/dev/zero", O_RDONLY);
    ASSERT_GE(zero, 0);
    const std::optional<posix::InputLine> zeros = posix::ReadLine(zero, 32768);
    ::close(zero);
    ASSERT_TRUE(zeros.has_value());
    EXPECT_EQ(zeros->refused, posix::InputLine::Refused::HoldsNul);
}

// What reads a file after the program starts where the program's lines end.
TEST(ConsoleTest, AFileIsLeftAtTheEndOfTheLinesTaken) {
    char name[] = "/tmp/cuecarry-lines-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::unlink(name);
    ASSERT_EQ(6, ::write(fd, "a\nbb\nc", 6));
    ASSERT_EQ(0, ::lseek(fd, 0, SEEK_SET));
    EXPECT_EQ(posix::ReadLine(fd, 100).value().text, "a");
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 2);
    EXPECT_TRUE(posix::SkipLine(fd));
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 5);
    EXPECT_FALSE(posix::SkipLine(fd));
    ::close(fd);
}

// The progress line stays within the terminal's real width, never wraps,
// and is not drawn where it would be too narrow to read or where the width
// is unknown.
TEST(StatusLineTest, TheLineFitsTheTerminalOrIsNotDrawn) {
    const std::string line = "1834 captions copied, now in \xe6\x97\xa5\xe6\x9c\xac Algebra";  // two wide characters
    const struct {
        unsigned short columns;
        const char* drawn;  // nullptr: nothing at all
    } cases[] = {
        {0, nullptr}, {1, nullptr}, {19, nullptr},
        {20, "1834 captions copie"},
        {31, "1834 captions copied, now in "},  // a wide character that does not fit is left out whole
        {33, "1834 captions copied, now in \xe6\x97\xa5"},
        {200, "1834 captions copied, now in \xe6\x97\xa5\xe6\x9c\xac Algebra"},
    };
    PseudoTerminal terminal(80, 24);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.columns);
        terminal.Resize(c.columns, 24);
        posix::ShowStatusLine(terminal.Terminal(), line);
        EXPECT_EQ(c.drawn ? "\r" + std::string(c.drawn) + "\x1b[K" : "", terminal.Written());
        // Text written next erases the line first; with no line, nothing.
        posix::WriteText(terminal.Terminal(), "next\n");
        EXPECT_EQ(c.drawn ? "\r\x1b[Knext\n" : "next\n", terminal.Written());
    }
    // A line drawn while the terminal was wide goes when it gets too narrow.
    terminal.Resize(80, 24);
    posix::ShowStatusLine(terminal.Terminal(), line);
    terminal.Resize(10, 24);
    posix::ShowStatusLine(terminal.Terminal(), line);
    EXPECT_EQ("\r" + line + "\x1b[K\r\x1b[K", terminal.Written());
    posix::WriteText(terminal.Terminal(), "end\n");
    EXPECT_EQ("end\n", terminal.Written());
}

}  // namespace
