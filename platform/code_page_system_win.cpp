#include "platform/code_page_system.h"
