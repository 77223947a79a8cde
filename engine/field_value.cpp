#include "engine/field_value.h"
