// Table entries whose functions are not built yet: each traces and fails.
#include "driver/driver.h"
#include "driver/functions.h"

