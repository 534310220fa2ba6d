// Compiled by the include-rule test in a target that links only the numerics:
// the data model's header must be out of its reach.
#include "core/TData.h"
