// lister in a real terminal: each test starts a tmux server of its own
// (a private socket), runs lister in a detached session (100 x 70 unless
// said), types with send-keys and reads the screen with capture-pane.
// Without tmux the tests fail: they are how the terminal back end is known
// to work. The pseudo-terminal tests of our own are in terminal_pty_test.cpp.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "screen/back_ends/terminal_output.h"
#include "tests/tmux_session.h"

using namespace testing_tmux;


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
    t.keys("4 9 Enter P Enter");
    ASSERT_TRUE(rowShows(t, 6, "13983816"));

    // The listing fills the grid in white and green; ESC stops it.
    ASSERT_TRUE(eventually([&] { return t.row(66).find_first_of("0123456789") != std::string::npos; }, "a full page"));
    const std::string listed = t.row(8, true);
    EXPECT_NE(listed.find("38;2;255;255;255"), std::string::npos) << listed;
    EXPECT_NE(listed.find("38;2;0;255;0"), std::string::npos) << listed;
    t.keys("Escape");
    ASSERT_TRUE(rowShows(t, 70, interruptedText));

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
    // The message's words, in as many centred lines as it takes.
    const std::string message = screen::sizeMessage(30, 10);
    const auto shownWords = [&] {
        std::string words;
        for (const std::string& line : t.screen()) {
            const std::size_t first = line.find_first_not_of(' ');
            if (first != std::string::npos) words += (words.empty() ? "" : " ") + trimmed(line.substr(first));
        }
        return words;
    };
    t.resize(30, 10);
    ASSERT_TRUE(eventually([&] { return shownWords() == message; }, message));
    t.keys("4 9 Enter");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    t.resize(100, 70);
    ASSERT_TRUE(rowShows(t, 5, choiceText));
    EXPECT_NE(t.row(4).find(": 49"), std::string::npos) << t.row(4);
    EXPECT_NE(t.row(1).find("VARIACIONES"), std::string::npos) << "redrawn whole: " << t.row(1);
    // Nobody is held there: Ctrl+C ends lister as the message says.
    t.resize(30, 10);
    ASSERT_TRUE(eventually([&] { return shownWords() == message; }, message));
    t.keys("C-c");
    ASSERT_TRUE(fileAppears(t.scratch.path + "/status"));
    EXPECT_EQ(readFile(t.scratch.path + "/status"), "130\n");
    expectRestored(t, t.scratch);
}

// At 80 x 24 the dialogue and the outcome stay in view: both answers, the
// total, the last combination, the progress and the report; a path wider
// than the terminal is read by moving the view; Ctrl+C at a question ends
// lister with the terminal given back.
TEST(TerminalEndToEnd, At80x24TheDialogueAndTheOutcomeStayInView) {
    {
        Tmux t;
        ASSERT_TRUE(t.start(listerScript(t.scratch), 80, 24));
        ASSERT_TRUE(eventually([&] { return screenText(t).find(questionText) != std::string::npos; }, questionText));
        EXPECT_EQ(t.display("#{cursor_flag} #{cursor_x}"), "1 57") << "the cursor on the answer";
        t.keys("1 0 Enter P Enter");
        ASSERT_TRUE(eventually([&] { return screenText(t).find("OK. TIEMPO") != std::string::npos; }, "the report"));
        const std::string shown = screenText(t);
        for (const char* text : {"(7-49): 10", "COMBINACIONES: P", "TOTAL COMBINACIONES:  210 > ARCHIVO: VSR_10-6.asc",
                                 "050607080910", "GENERADAS:  210 /  210", "Pulsa cualquier tecla"})
            EXPECT_NE(shown.find(text), std::string::npos) << text << " in\n" << shown;
        t.keys("x");
        ASSERT_TRUE(fileAppears(t.scratch.path + "/status"));
        EXPECT_EQ(readFile(t.scratch.path + "/status"), "0\n");
        expectRestored(t, t.scratch);
    }
    {
        Tmux t;
        // A path of 85 characters: row 69 runs 14 columns past the terminal.
        const std::string folder = t.scratch.path + "/" + std::string(85 - t.scratch.path.size() - 13, 'f');
        const std::string path = folder + "/VSR_7-6.asc";
        std::filesystem::create_directory(folder);
        std::filesystem::copy_file(LISTER_BINARY, folder + "/lister");
        ASSERT_TRUE(t.start(listerScript(t.scratch, "LISTER_SCREEN=terminal", folder + "/lister"), 80, 24));
        ASSERT_TRUE(eventually([&] { return screenText(t).find(questionText) != std::string::npos; }, questionText));
        t.keys("7 Enter G Enter");
        // Where the path ends, then, the view moved to its start, where it begins.
        std::string end, start;
        ASSERT_TRUE(eventually([&] { return !(end = lineWith(t, "/VSR_7-6.asc")).empty(); }, "the path's end"));
        t.keys("M-Home");
        ASSERT_TRUE(eventually([&] { return !(start = lineWith(t, " > RUTA: ")).empty(); }, "the path's start"));
        EXPECT_NE(screenText(t).find(" > OK. TIEMPO INVERTIDO: "), std::string::npos) << screenText(t);
        start = start.substr(start.find(" > RUTA: ") + 9);
        EXPECT_EQ(path.find(start), 0u) << start;
        EXPECT_EQ(path.rfind(end), path.size() - end.size()) << end;
        EXPECT_GE(start.size() + end.size(), path.size()) << "the whole path seen";
        t.keys("x");
        ASSERT_TRUE(fileAppears(t.scratch.path + "/status"));
    }
    {
        Tmux t;
        ASSERT_TRUE(t.start(listerScript(t.scratch), 80, 24));
        ASSERT_TRUE(eventually([&] { return screenText(t).find(questionText) != std::string::npos; }, questionText));
        t.keys("4 C-c");
        ASSERT_TRUE(fileAppears(t.scratch.path + "/status"));
        EXPECT_EQ(readFile(t.scratch.path + "/status"), "130\n");
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
