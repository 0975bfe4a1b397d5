#include "base/error.h"
// Anchors the base library so that it is never an empty archive.
