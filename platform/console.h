// The console as the command line writes to it: UTF-8 bytes, "\n" as is.
#pragma once

namespace kosmara {

#ifdef _WIN32
// Sets the console's output code page to UTF-8 and puts standard output and
// standard error in binary mode, so no "\n" becomes CR LF.
void PrepareConsoleOutput();
#else
// POSIX terminals take the bytes as they are.
inline void PrepareConsoleOutput() {}
#endif

}  // namespace kosmara
