#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/console.h"

namespace kosmara {

void PrepareConsoleOutput() {
    ::SetConsoleOutputCP(CP_UTF8);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

}  // namespace kosmara
