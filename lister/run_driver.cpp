#include "lister/run_driver.h"

#include <string_view>

#include "lister/command_line.h"
#include "lister/listings.h"
#include "lister/texts.h"
#include "platform/platform.h"
#include "screen/cp437.h"
#include "screen/keyboard.h"
#include "screen/line_input.h"
#include "screen/screen.h"

namespace lister {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view titleLine =
    "     VARIACIONES SIN REPETICION DE n ELEMENTOS TOMADOS DE 6 EN 6 > lister en C++20, por su equipo"sv;
constexpr std::string_view creditLine =
    "     lister: todas las combinaciones de 6 en orden, por pantalla o a archivo. Hecho por su equipo"sv;
static_assert(titleLine.size() == 97 && creditLine.size() == 97, "the frame lines are 97 characters");

constexpr std::string_view elementsPrompt = " > NUMERO DE ELEMENTOS A COMBINAR EN GRUPOS DE 6 (7-49): "sv;
constexpr std::string_view choicePrompt = " > SALIDA SOLO POR (P)ANTALLA o (G)UARDAR COMBINACIONES: "sv;
static_assert(elementsPrompt.size() == 57 && choicePrompt.size() == 57, "answers start at column 58");

constexpr std::string_view totalLabel = " > TOTAL COMBINACIONES: "sv;
constexpr std::string_view fileLabel = " > ARCHIVO: "sv;
constexpr std::string_view finishedReport = " > OK. TIEMPO INVERTIDO: "sv;
constexpr std::string_view interruptedReport = " > PROCESO INTERRUMPIDO. GENERADAS: "sv;
constexpr std::string_view interruptedCount = " combinaciones. TIEMPO: "sv;
constexpr std::string_view seconds = " segundos."sv;
constexpr std::string_view generatedFile = " > ARCHIVO GENERADO: "sv;
constexpr std::string_view filePathLabel = " > RUTA: "sv;
static_assert(keyHint.size() == 42, "the hint covers the panel's 41-character line");

constexpr std::string_view pathEllipsis = "..."sv;
constexpr std::size_t pathHeadLength = 20;

constexpr std::string_view fileNamePrefix = "VSR_"sv;
constexpr std::string_view fileNameSuffix = "-6.asc"sv;

constexpr int titleRow = 1;
constexpr int creditRow = 2;
constexpr int elementsRow = 4;
constexpr int choiceRow = 5;
constexpr int totalRow = 6;
constexpr int barRows[] = {3, 7, 67};
constexpr double secondsPerDay = 86400.0;
// The screen could not start at all (it said why on standard error).
constexpr int noScreenStatus = 1;

using screen::moveCursor;
using screen::printText;
using screen::setColors;

void print(std::string_view text) { printText(text, false); }

void drawFrame() {
    setColors(frameText, background);
    moveCursor(titleRow, 1);
    printText(titleLine, true);
    moveCursor(creditRow, 1);
    print(creditLine);
    for (int row : barRows) drawBar(row, screenWidth);
}

// Asked again until 7 to 49. Row 4 is never cleared: a new answer is
// echoed over the old one.
std::int32_t askElements() {
    std::int32_t n = 0;
    do {
        setColors(white, background);
        moveCursor(elementsRow, 1);
        print(elementsPrompt);
        screen::inputLine("", false, true);
        screen::inputInteger(n);
    } while (n < fewestElements || n > mostElements);
    return n;
}

std::string askChoice() {
    std::string choice;
    do {
        clearRow(choiceRow, screenWidth, white, background);
        setColors(white, background);
        moveCursor(choiceRow, 1);
        print(choicePrompt);
        setColors(green, background);
        screen::inputLine("", false, true);
        std::string answer;
        screen::inputText(answer);
        setColors(green, background);
        choice = normalisedChoice(answer);
    } while (choice != screenChoice && choice != fileChoice);
    return choice;
}

void showTotalAndFile(const RunValues& run) {
    clearRow(totalRow, screenWidth, white, background);
    setColors(white, background);
    moveCursor(totalRow, 1);
    print(totalLabel);
    screen::printInt64(run.total);
    setColors(green, background);
    print(fileLabel);
    setColors(nameText, nameBack);
    print(run.fileName);
}

void showReport(const RunValues& run) {
    clearRow(reportRow, screenWidth, white, background);
    setColors(white, background);
    moveCursor(reportRow, 1);
    if (!run.interrupted) {
        print(finishedReport);
    } else {
        print(interruptedReport);
        screen::printInt64(run.count);
        print(interruptedCount);
    }
    screen::printDouble(run.elapsed);
    print(seconds);
}

void showClosingLines(const RunValues& run) {
    if (run.choice == fileChoice) {
        clearRow(countRow, screenWidth, white, background);
        setColors(white, background);
        moveCursor(countRow, 1);
        print(generatedFile);
        print(run.fileName);
        clearRow(hintRow, screenWidth, white, background);
        setColors(green, background);
        moveCursor(hintRow, 1);
        print(filePathLabel);
        printPath(run.filePath, static_cast<std::size_t>(screenWidth) - filePathLabel.size());
    } else {
        // Row 68 keeps the final progress line.
        setColors(green, background);
        moveCursor(hintRow, 1);
        print(keyHint);
    }
}

}  // namespace

std::string makeLabel(int i) { return (i < 10 ? "0" : "") + std::to_string(i); }

LabelTable makeLabelTable() {
    LabelTable labels;
    for (int i = 1; i <= mostElements; ++i) labels[static_cast<std::size_t>(i)] = makeLabel(i);
    return labels;
}

std::int64_t combinationsOf6(std::int32_t n) {
    if (n < 6) return 0;
    const std::int64_t m = n;
    return m * (m - 1) * (m - 2) * (m - 3) * (m - 4) * (m - 5) / 720;
}

std::string outputFileName(std::int32_t n) {
    return std::string(fileNamePrefix) + std::to_string(n) + std::string(fileNameSuffix);
}

std::string normalisedChoice(const std::string& answer) {
    const std::size_t last = answer.find_last_not_of(' ');
    if (last == std::string::npos) return {};
    const std::size_t first = answer.find_first_not_of(' ');
    char c = answer[first];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return std::string(1, c);
}

void printPath(const std::string& path, std::size_t room) {
    const std::string shown = screen::cp437FromUtf8(path);
    const std::size_t cut = pathHeadLength + pathEllipsis.size();
    if (shown.size() <= room)
        screen::printGlyphs(shown);
    else if (room <= cut)  // no room for the head
        screen::printGlyphs(std::string_view(shown).substr(shown.size() - room));
    else
        screen::printGlyphs(shown.substr(0, pathHeadLength) + std::string(pathEllipsis) +
                            shown.substr(shown.size() - (room - cut)));
}

void clearRow(int row, int width, Color fg, Color bg) {
    setColors(fg, bg);
    moveCursor(row, 1);
    print(screen::spaces(width));
}

void drawBar(int row, int width) { clearRow(row, width, barText, barBack); }

void runMain(int argc, const char* const* argv) {
    // Prepared first: a help written into a pipe nobody reads fails as a
    // write rather than ending lister.
    platform::prepareProcess();
    if (const auto status = answerCommandLine(argc, argv)) platform::endProcess(*status);
    if (screen::openScreen(800, 600, 32, 1, 0, 0) != 0) platform::endProcess(noScreenStatus);
    screen::setTextSize(screenWidth, 70);
    // The answers, the total and the file, and the outcome below the grid:
    // what a view too small for the whole screen must never fold away.
    screen::keepRowsInView(elementsRow, totalRow);
    screen::keepRowsInView(countRow, reportRow);
    setColors(frameText, background);
    screen::clearScreen();

    RunValues run;
    run.labels = makeLabelTable();
    drawFrame();

    run.n = askElements();
    run.fileName = outputFileName(run.n);
    run.filePath = platform::joinPath(platform::executableDirectory(), run.fileName, platform::pathSeparator);
    run.total = combinationsOf6(run.n);
    run.choice = askChoice();
    showTotalAndFile(run);
    for (int row = firstGridRow; row <= lastGridRow; ++row) clearRow(row, screenWidth, white, background);

    run.interrupted = false;
    run.count = 0;
    run.page = 1;
    run.gridRow = firstGridRow;
    run.gridCol = firstGridColumn;
    run.startTime = platform::clockSeconds();
    if (run.choice == fileChoice)
        runFileListing(run);
    else
        runScreenListing(run);
    run.elapsed = platform::clockSeconds() - run.startTime;
    // A clock that went back across a day's end would be mended so; ours
    // (steady_clock, the performance counter) never goes back.
    if (run.elapsed < 0.0) run.elapsed += secondsPerDay;

    showProgress(run.count, run.total, run.page, run.choice, run.fileName);
    showReport(run);
    showClosingLines(run);
    screen::waitForKey();
    screen::closeScreen();
    platform::endProcess(0);
}

}  // namespace lister
