// lister in a real terminal: each test starts a tmux server of its own
// (a private socket), runs lister in a detached session (100 x 70 unless
// said), types with send-keys and reads the screen with capture-pane.
// Without tmux the tests fail: they are how the terminal back end is known
// to work. The pseudo-terminal tests of our own are in terminal_pty_test.cpp.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "screen/back_ends/terminal_output.h"
#include "tests/run_lister.h"
#include "tests/temp_dir.h"

namespace {

using testing_files::TempDir;
using testing_lister::readFile;


using testing_files::TempDir;
using testing_lister::readFile;

constexpr auto patience = std::chrono::seconds(15);
constexpr const char* questionText = "NUMERO DE ELEMENTOS A COMBINAR";
constexpr const char* choiceText = "SALIDA SOLO POR";
constexpr const char* interruptedText = "PROCESO INTERRUMPIDO";
constexpr const char* afterText = "AFTER-LISTER";

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Shell {
    int status = -1;
    std::string output;
};

Shell shell(const std::string& command) {
    Shell result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string trimmed(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// One tmux server on a socket of its own, killed (with whatever runs in
// it) when the test ends.
struct Tmux {
    std::string socket;
    TempDir scratch;

    Tmux() {
        static int serial = 0;
        socket = "lister-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    }
    ~Tmux() { shell(command("kill-server")); }

    std::string command(const std::string& arguments) const {
        // A UTF-8 locale, so that tmux keeps the cells' characters whole.
        return "env -u TMUX LC_ALL=C.UTF-8 tmux -L " + socket + " -f /dev/null " + arguments;
    }
    Shell run(const std::string& arguments) const { return shell(command(arguments)); }

    // Runs `script` in sh in a new detached session of the given size.
    // The script ends in a long sleep so that the pane outlives lister.
    ::testing::AssertionResult start(const std::string& script, int columns = 100, int rows = 70) const {
        const Shell r = run("new-session -d -s t -x " + std::to_string(columns) + " -y " + std::to_string(rows) +
                            " " + quoted("exec sh -c " + quoted(script + "; exec sleep 600")));
        if (r.status != 0) return ::testing::AssertionFailure() << "tmux cannot start: " << r.output;
        return ::testing::AssertionSuccess();
    }

    std::vector<std::string> screen(bool colours = false) const {
        return linesOf(run(std::string("capture-pane -p -t t") + (colours ? " -e" : "")).output);
    }
    std::string row(int r, bool colours = false) const {
        const std::vector<std::string> lines = screen(colours);
        return r >= 1 && r <= static_cast<int>(lines.size()) ? lines[static_cast<std::size_t>(r - 1)] : "";
    }
    std::string display(const std::string& format) const {
        return trimmed(linesOf(run("display -p -t t " + quoted(format)).output + "\n")[0]);
    }
    void keys(const std::string& keys) const { run("send-keys -t t " + keys); }
    void literal(const std::string& text) const { run("send-keys -t t -l " + quoted(text)); }
    void resize(int columns, int rows) const {
        run("resize-window -t t -x " + std::to_string(columns) + " -y " + std::to_string(rows));
    }
};

::testing::AssertionResult eventually(const std::function<bool()>& test, const std::string& what) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline) {
        if (test()) return ::testing::AssertionSuccess();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    return ::testing::AssertionFailure() << "waited in vain for " << what;
}

::testing::AssertionResult rowShows(const Tmux& t, int row, const std::string& text) {
    std::string last;
    if (eventually([&] { return (last = t.row(row)).find(text) != std::string::npos; }, "")) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "row " << row << " never showed \"" << text << "\"; it shows \"" << last
                                         << "\"";
}

::testing::AssertionResult fileAppears(const std::string& path) {
    return eventually([&] { return !trimmed(readFile(path)).empty() && readFile(path).back() == '\n'; }, path);
}

// Runs lister so that the test can see how it left the terminal: the modes
// before and after, its exit status, then a line printed after it. The
// shell outlives a Ctrl+C typed at lister.
std::string listerScript(const TempDir& d, const std::string& environment = "LISTER_SCREEN=terminal",
                         const std::string& binary = LISTER_BINARY) {
    return "trap : INT; ulimit -c 0; stty -g > " + d.path + "/before; sh -c 'echo $$ > " + d.path +
           "/pid; exec env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " COLORTERM=truecolor LISTER_CELLS=" +
           d.path + "/cells.txt " + binary + "'; echo $? > " + d.path + "/status; stty -g > " + d.path +
           "/after; echo " + afterText;
}

// The pane is back on the main screen with the cursor shown, the terminal
// modes are those from before, and what is printed next has no colour.
// (The shell may first say how lister ended, on a line of its own.)
void expectRestored(const Tmux& t, const TempDir& d) {
    std::string after;
    EXPECT_TRUE(eventually(
        [&] {
            for (const std::string& line : t.screen(true))
                if (line.find(afterText) != std::string::npos) after = line;
            return !after.empty();
        },
        afterText));
    EXPECT_EQ(after.find("\x1b["), std::string::npos) << "colours left on: " << after;
    EXPECT_EQ(t.display("#{alternate_on} #{cursor_flag}"), "0 1");
    EXPECT_EQ(readFile(d.path + "/before"), readFile(d.path + "/after"));
}

// The whole screen as one text, each line trimmed.
std::string screenText(const Tmux& t) {
    std::string text;
    for (const std::string& line : t.screen()) text += trimmed(line) + "\n";
    return text;
}

::testing::AssertionResult screenShows(const Tmux& t, const std::string& text) {
    return eventually([&] { return screenText(t).find(text) != std::string::npos; }, text);
}

}  // namespace


TEST(TerminalEndToEnd, AWholeScreenRunByKeyboardThenTheTerminalIsRestored) {
    Tmux t;
    ASSERT_TRUE(t.start(listerScript(t.scratch)));
    ASSERT_TRUE(rowShows(t, 4, questionText));
    EXPECT_EQ(t.display("#{alternate_on} #{cursor_flag} #{cursor_y} #{cursor_x}"), "1 1 3 57") << "the cursor on the answer";
    // The frame's colours: title on dark blue, the bars green.
    EXPECT_NE(t.row(1, true).find("\x1b[38;2;170;238;170m\x1b[48;2;0;0;68m"), std::string::npos) << t.row(1, true);
    EXPECT_NE(t.row(3, true).find("48;2;0;136;0m"), std::string::npos) << t.row(3, true);

    // Editing: the input mark is the underlined cell it stands over.
    t.keys("1 2 Left 3");
    ASSERT_TRUE(rowShows(t, 4, ": 132"));
    EXPECT_NE(t.row(4, true).find("13\x1b[4m2"), std::string::npos) << t.row(4, true);
    t.literal("\xc3\xb1");  // a UTF-8 character of code page 437
    ASSERT_TRUE(rowShows(t, 4, ": 13\xc3\xb1" "2"));
    t.keys("Escape");  // a lone ESC clears the answer
    EXPECT_TRUE(eventually([&] { return trimmed(t.row(4)).back() == ':'; }, "ESC to clear the answer"));
    // ESC typed ahead: the listing stops however fast this machine lists.
    t.keys("4 9 Enter P Enter Escape");
    ASSERT_TRUE(rowShows(t, 70, interruptedText));
    ASSERT_TRUE(rowShows(t, 6, "13983816"));

    // By then the listing had filled the grid in white and green.
    EXPECT_NE(t.row(66).find_first_of("0123456789"), std::string::npos) << "a full page";
    const std::string listed = t.row(8, true);
    EXPECT_NE(listed.find("38;2;255;255;255"), std::string::npos) << listed;
    EXPECT_NE(listed.find("38;2;0;255;0"), std::string::npos) << listed;

    // Ctrl+L redraws and is no key: the final wait goes on.
    t.keys("C-l");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<std::string> finalScreen = t.screen();
    ASSERT_EQ(finalScreen.size(), 70u);
    EXPECT_NE(finalScreen[69].find(interruptedText), std::string::npos) << "Ctrl+L ended the final wait";

    t.keys("x");
    ASSERT_TRUE(fileAppears(t.scratch.path + "/status"));
    EXPECT_EQ(trimmed(readFile(t.scratch.path + "/status")), "0\n");
    expectRestored(t, t.scratch);

    // What the terminal showed is exactly the final grid, cell by cell.
    const std::string cells = readFile(t.scratch.path + "/cells.txt");
    ASSERT_EQ(cells.size(), 70u * 101u);
    for (int r = 0; r < 70; ++r) {
        std::string row;
        for (int c = 0; c < 100; ++c) row += screen::terminalTextOf(static_cast<std::uint8_t>(cells[r * 101 + c]));
        EXPECT_EQ(trimmed(finalScreen[static_cast<std::size_t>(r)]), trimmed(row)) << "row " << r + 1;
    }
}

TEST(TerminalEndToEnd, ASmallTerminalShowsTheSizeMessageAndKeysStillQueue) {
    Tmux t;
    ASSERT_TRUE(t.start(listerScript(t.scratch)));
    ASSERT_TRUE(rowShows(t, 4, questionText));
    t.resize(100, 10);
    const std::string message = screen::sizeMessage(100, 10);
    ASSERT_TRUE(rowShows(t, 5, message));
    EXPECT_EQ(t.row(5), std::string((100 - message.size()) / 2, ' ') + message);
    for (const std::string& line : t.screen()) {
        if (line.find(message) == std::string::npos) {
            EXPECT_EQ(trimmed(line), "");
        }
    }
    t.keys("4 9 Enter");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    t.resize(100, 70);
    ASSERT_TRUE(rowShows(t, 5, choiceText));
    EXPECT_NE(t.row(4).find(": 49"), std::string::npos) << t.row(4);
    EXPECT_NE(t.row(1).find("VARIACIONES"), std::string::npos) << "redrawn whole: " << t.row(1);
}

// At 80 x 24 the dialogue and the outcome stay in view: both answers, the
// total, the last combination, the progress and the report; a path wider
// than the terminal is read by moving the view; Ctrl+C at a question ends
// lister with the terminal given back.
TEST(TerminalEndToEnd, At80x24TheDialogueAndTheOutcomeStayInView) {
    for (const char* run : {"10 P", "7 G", "Ctrl+C"}) {
        SCOPED_TRACE(run);
        Tmux t;
        // The G run's folder makes a path of 85 characters: row 69 runs 14 columns past the terminal.
        const std::string folder = t.scratch.path + "/" + std::string(85 - t.scratch.path.size() - 13, 'f');
        const std::string path = folder + "/VSR_7-6.asc";
        std::filesystem::create_directory(folder);
        std::filesystem::copy_file(LISTER_BINARY, folder + "/lister");
        ASSERT_TRUE(t.start(listerScript(t.scratch, "LISTER_SCREEN=terminal", folder + "/lister"), 80, 24));
        ASSERT_TRUE(screenShows(t, questionText));
        EXPECT_EQ(t.display("#{cursor_flag} #{cursor_x}"), "1 57") << "the cursor on the answer";
        if (run == std::string("10 P")) {
            t.keys("1 0 Enter P Enter");
            for (const char* text : {"(7-49): 10", "COMBINACIONES: P", "TOTAL COMBINACIONES:  210 > ARCHIVO: VSR_10-6.asc",
                                     "050607080910", "GENERADAS:  210 /  210", "Pulsa cualquier tecla", "OK. TIEMPO"})
                EXPECT_TRUE(screenShows(t, text));
        } else if (run == std::string("7 G")) {
            t.keys("7 Enter G Enter");
            // The path's end where lister left the view, its start once the view is moved there.
            EXPECT_TRUE(screenShows(t, path.substr(path.size() - 60)));
            t.keys("M-Home");
            EXPECT_TRUE(screenShows(t, " > RUTA: " + path.substr(0, 60)));
            EXPECT_TRUE(screenShows(t, " > OK. TIEMPO INVERTIDO: "));
        }
        t.keys(run == std::string("Ctrl+C") ? "4 C-c" : "x");
        ASSERT_TRUE(fileAppears(t.scratch.path + "/status"));
        EXPECT_EQ(readFile(t.scratch.path + "/status"), run == std::string("Ctrl+C") ? "130\n" : "0\n");
        expectRestored(t, t.scratch);
    }
}

TEST(TerminalEndToEnd, ASignalFromOutsideRestoresTheTerminalAndEndsWithIt) {
    struct Case {
        int signal;
        const char* name;
    };
    for (const Case c : {Case{SIGTERM, "TERM"}, Case{SIGHUP, "HUP"}, Case{SIGINT, "INT"}, Case{SIGQUIT, "QUIT"},
                         Case{SIGSEGV, "SEGV"}, Case{SIGABRT, "ABRT"}, Case{SIGBUS, "BUS"}, Case{SIGFPE, "FPE"},
                         Case{SIGUSR1, "USR1"}, Case{SIGALRM, "ALRM"}}) {
        SCOPED_TRACE(c.name);
        Tmux t;
        ASSERT_TRUE(t.start(listerScript(t.scratch)));
        ASSERT_TRUE(rowShows(t, 4, questionText));
        ASSERT_TRUE(fileAppears(t.scratch.path + "/pid"));
        const pid_t pid = std::stoi(readFile(t.scratch.path + "/pid"));
        ASSERT_EQ(kill(pid, c.signal), 0);
        ASSERT_TRUE(fileAppears(t.scratch.path + "/status"));
        EXPECT_EQ(trimmed(readFile(t.scratch.path + "/status")), std::to_string(128 + c.signal) + "\n");
        expectRestored(t, t.scratch);
    }
}

TEST(TerminalEndToEnd, AStopGivesTheTerminalBackAndTheContinueTakesItAgain) {
    Tmux t;
    ASSERT_TRUE(t.start(listerScript(t.scratch)));
    ASSERT_TRUE(rowShows(t, 4, questionText));
    ASSERT_TRUE(fileAppears(t.scratch.path + "/pid"));
    const pid_t pid = std::stoi(readFile(t.scratch.path + "/pid"));
    const std::string tty = t.display("#{pane_tty}");
    const std::string before = readFile(t.scratch.path + "/before");
    const auto modes = [&] { return shell("stty -g -F " + tty).output; };
    EXPECT_NE(modes(), before) << "raw mode while lister runs";

    ASSERT_EQ(kill(pid, SIGTSTP), 0);
    EXPECT_TRUE(eventually([&] { return t.display("#{alternate_on} #{cursor_flag}") == "0 1"; }, "the main screen"));
    EXPECT_TRUE(eventually([&] { return modes() == before; }, "the modes from before"));

    ASSERT_EQ(kill(pid, SIGCONT), 0);
    EXPECT_TRUE(eventually([&] { return t.display("#{alternate_on}") == "1"; }, "the alternate screen"));
    ASSERT_TRUE(rowShows(t, 4, questionText)) << "drawn again";
    t.keys("4 9 Enter");
    EXPECT_TRUE(rowShows(t, 5, choiceText)) << "keys work again";
}

TEST(TerminalEndToEnd, WithoutADisplayTheTerminalIsChosenByItself) {
    Tmux t;
    ASSERT_TRUE(t.start(listerScript(t.scratch, "-u LISTER_SCREEN")));
    ASSERT_TRUE(rowShows(t, 4, questionText));
    EXPECT_EQ(t.display("#{alternate_on}"), "1");
}

// A terminal that cannot show the screen is said in one line, whether
// asked for or chosen by itself, and the headless screen takes over.
TEST(TerminalEndToEnd, ATerminalThatCannotShowTheScreenIsSaidAndAnotherScreenTakesOver) {
    struct Case {
        const char* what;
        std::string environment;
        std::string input;  // where standard input comes from
        std::string keys;   // the answers, typed at the headless screen in the terminal's line mode
        std::string errors;  // all of standard error
        std::string status;
    };
    const Case cases[] = {
        {"no terminal on standard input", "LISTER_SCREEN=terminal", " < /dev/null", "",
         "lister: the terminal screen cannot open (standard input is not a terminal); choosing by itself\n"
         "lister: input ended while waiting for an answer\n",
         "3\n"},
        {"TERM=dumb, chosen by itself", "-u LISTER_SCREEN TERM=dumb", "", "7 Enter G Enter",
         "lister: the terminal screen cannot open (TERM=dumb: the terminal cannot place the cursor); "
         "falling back to the headless screen\n",
         "0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Tmux t;
        const std::string errors = t.scratch.path + "/errors";
        ASSERT_TRUE(t.start("cd " + t.scratch.path + " && cp " + LISTER_BINARY + " . && env -u DISPLAY -u WAYLAND_DISPLAY " +
                            c.environment + " ./lister" + c.input + " 2> " + errors + "; echo $? > " + t.scratch.path +
                            "/status"));
        const std::string status = t.scratch.path + "/status";
        if (!c.keys.empty()) {
            ASSERT_TRUE(eventually([&] { return readFile(errors) == c.errors; }, "the message"));
            t.keys(c.keys);
            // Then keys until the final wait takes one.
            ASSERT_TRUE(eventually(
                [&] {
                    t.keys("Enter");
                    return std::filesystem::exists(status);
                },
                "the end of the run"));
        }
        ASSERT_TRUE(fileAppears(status));
        EXPECT_EQ(readFile(errors), c.errors);
        EXPECT_EQ(readFile(status), c.status);
        EXPECT_TRUE(std::filesystem::exists(t.scratch.path + "/VSR_7-6.asc") == !c.keys.empty());
        EXPECT_EQ(t.display("#{alternate_on} #{cursor_flag}"), "0 1");
    }
}
