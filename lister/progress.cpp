#include "lister/listings.h"

namespace lister {

// The panel arrives with the enumeration.
void showProgress(std::int64_t, std::int64_t, std::int64_t, std::string, std::string) {}

}  // namespace lister
