#include "engine/paradox_table.h"
