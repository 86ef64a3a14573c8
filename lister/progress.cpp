// The progress panel on rows 68 and 69, and the stop check that redraws it.
#include <string_view>

#include "lister/enumeration.h"
#include "lister/listings.h"
#include "lister/run_driver.h"
#include "lister/texts.h"
#include "screen/keyboard.h"
#include "screen/screen.h"

namespace lister {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view countLabel = " > GENERADAS: "sv;
constexpr std::string_view ofLabel = " / "sv;
constexpr std::string_view pageLabel = "   PAGINA: "sv;
constexpr std::string_view screenModeHint = " > MODO PANTALLA. Pulsa ESC para detener."sv;
constexpr std::string_view savingLabel = " > GUARDANDO EN: "sv;
constexpr std::string_view savingHint = "   (ESC = detener)"sv;
constexpr std::string_view escapeKey = "\x1b"sv;

void print(std::string_view text) { screen::printText(text, false); }

}  // namespace

void showProgress(std::int64_t count, std::int64_t total, std::int64_t page, std::string choice,
                  std::string fileName) {
    clearRow(countRow, screenWidth, white, background);
    clearRow(hintRow, screenWidth, white, background);
    screen::setColors(white, background);
    screen::moveCursor(countRow, 1);
    print(countLabel);
    screen::printInt64(count);
    print(ofLabel);
    screen::printInt64(total);
    if (choice == screenChoice) {
        print(pageLabel);
        screen::printInt64(page);
        screen::setColors(green, background);
        screen::moveCursor(hintRow, 1);
        print(screenModeHint);
    } else {
        screen::setColors(green, background);
        screen::moveCursor(hintRow, 1);
        print(savingLabel);
        print(fileName);
        print(savingHint);
    }
}

bool stopCheck(const RunValues& run) {
    showProgress(run.count, run.total, run.page, run.choice, run.fileName);
    return screen::pollKey() == escapeKey;
}

}  // namespace lister
