// The driver's rules: labels, totals, names, choices and paths.
#include "lister/run_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/platform.h"

using namespace lister;

TEST(RunValues, LabelsAreTwoDigits) {
    const LabelTable labels = makeLabelTable();
    EXPECT_EQ(labels[1], "01");
    EXPECT_EQ(labels[9], "09");
    EXPECT_EQ(labels[10], "10");
    EXPECT_EQ(labels[49], "49");
    for (int i = 1; i <= 49; ++i) EXPECT_EQ(labels[static_cast<std::size_t>(i)].size(), 2u) << i;
}

TEST(RunValues, CombinationsOf6) {
    const std::pair<int, std::int64_t> table[] = {{7, 7},        {8, 28},         {9, 84},       {10, 210},
                                                  {20, 38760},   {30, 593775},    {40, 3838380}, {45, 8145060},
                                                  {49, 13983816}, {6, 1},         {5, 0},        {0, 0},
                                                  {-7, 0}};
    for (auto [n, total] : table) EXPECT_EQ(combinationsOf6(n), total) << n;
}

TEST(RunValues, FileNameAndChoice) {
    EXPECT_EQ(outputFileName(7), "VSR_7-6.asc");
    EXPECT_EQ(outputFileName(49), "VSR_49-6.asc");
    const std::pair<const char*, const char*> choices[] = {
        {"p", "P"}, {"G", "G"}, {" g ", "G"}, {"gx", "G"}, {"Pantalla", "P"}, {"", ""}, {"   ", ""}, {"x", "X"}};
    for (auto [answer, choice] : choices) EXPECT_EQ(normalisedChoice(answer), choice) << answer;
}

struct PathCase {
    const char* path;
    char separator;
    const char* directory;
};

TEST(ExecutablePath, TheFolderRuleForEitherSeparator) {
    const PathCase table[] = {
        {"/usr/local/bin/lister", '/', "/usr/local/bin"}, {"/lister", '/', "/"},
        {"lister", '/', ""},                              {"a/b/", '/', "a/b"},
        {"C:\\tools\\prog.exe", '\\', "C:\\tools"},       {"C:\\prog.exe", '\\', "C:\\"},
        {"z:\\prog.exe", '\\', "z:\\"},                   {"prog.exe", '\\', ""},
        {"C:/tools/prog.exe", '\\', ""},  // only the backslash counts there
        {"\\\\server\\share\\prog.exe", '\\', "\\\\server\\share"},
    };
    for (const PathCase& c : table) EXPECT_EQ(platform::directoryOf(c.path, c.separator), c.directory) << c.path;
}

// The path on row 69 (room 91 beside " > RUTA: ") and on the error line
// (room 62 beside its label and "  ERR= 2"): whole while it fits, else its
// head, "..." and its tail, filling the room exactly.
TEST(ExecutablePath, ALongPathFitsItsRow) {
    const std::pair<std::size_t, std::size_t> table[] = {{91, 91},  {92, 91}, {191, 91}, {192, 91},
                                                         {300, 91}, {62, 62}, {63, 62},  {200, 62}};
    for (auto [length, room] : table) {
        std::string path;
        for (std::size_t i = 0; i < length; ++i) path += static_cast<char>('!' + i % 90);  // no two alike nearby
        const std::string shown = fittedPath(path, room);
        ASSERT_EQ(shown.size(), std::min(length, room)) << length;
        if (length <= room) {
            EXPECT_EQ(shown, path);
            continue;
        }
        EXPECT_EQ(shown.substr(0, 23), path.substr(0, 20) + "...") << length;
        EXPECT_EQ(path.substr(length - (room - 23)), shown.substr(23)) << length;
    }
}

TEST(ExecutablePath, JoiningAndTitles) {
    EXPECT_EQ(platform::joinPath("", "VSR_7-6.asc", '/'), "VSR_7-6.asc");
    EXPECT_EQ(platform::joinPath("/", "VSR_7-6.asc", '/'), "/VSR_7-6.asc");
    EXPECT_EQ(platform::joinPath("/opt/x", "VSR_7-6.asc", '/'), "/opt/x/VSR_7-6.asc");
    EXPECT_EQ(platform::joinPath("C:\\tools", "VSR_49-6.asc", '\\'), "C:\\tools\\VSR_49-6.asc");
    EXPECT_EQ(platform::joinPath("C:\\", "VSR_49-6.asc", '\\'), "C:\\VSR_49-6.asc");
    EXPECT_EQ(platform::joinPath("C:/tools/", "VSR_49-6.asc", '\\'), "C:/tools/VSR_49-6.asc");
    EXPECT_EQ(platform::programTitle("/usr/bin/lister", '/'), "lister");
    EXPECT_EQ(platform::programTitle("C:\\x\\lister.exe", '\\'), "lister");
    EXPECT_EQ(platform::programTitle("a.b.c", '/'), "a.b");
}

TEST(ExecutablePath, IsThisTestProgram) {
    const std::string path = platform::executablePath();
    EXPECT_EQ(platform::programTitle(path, '/'), "lister_unit_tests");
    EXPECT_TRUE(std::filesystem::exists(path));
}
