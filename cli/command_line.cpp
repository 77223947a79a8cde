#include "cli/command_line.h"
