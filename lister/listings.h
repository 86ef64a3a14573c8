// The two listings and the progress panel they share with the driver.
#pragma once

#include <cstdint>
#include <string>

#include "lister/run_values.h"

namespace lister {

void runScreenListing(RunValues& run);
void runFileListing(RunValues& run);
void showProgress(std::int64_t count, std::int64_t total, std::int64_t page, std::string choice,
                  std::string fileName);

}  // namespace lister
