#include "platform/input_file.h"
