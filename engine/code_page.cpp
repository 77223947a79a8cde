#include "engine/code_page.h"
