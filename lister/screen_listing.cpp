#include "lister/listings.h"

namespace lister {

// The listing arrives with the enumeration.
void runScreenListing(RunValues&) {}

}  // namespace lister
