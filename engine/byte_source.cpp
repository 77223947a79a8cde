#include "engine/byte_source.h"
