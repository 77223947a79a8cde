#include "engine/engine_objects.h"
