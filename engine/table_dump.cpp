#include "engine/table_dump.h"
