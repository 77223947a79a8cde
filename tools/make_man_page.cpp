// Writes the manual page kosmara2aaf(1) to standard output, made from the
// program's own help text. The Debian package's build (scripts/make_package.sh)
// runs it with the date of the sources' last change:
//   kosmara_make_man_page 2026-12-10 > kosmara2aaf.1
#include <cstdio>
#include <iostream>
#include <string_view>

#include "cli/command_line.h"
#include "cli/man_page.h"

int main(int argc, char* argv[]) {
    if (argc != 2 || std::string_view(argv[1]).size() != 10) {
        std::cerr << "Aufruf: kosmara_make_man_page JJJJ-MM-TT\n";
        return 2;
    }
    std::cout << kosmara::ManPageFromHelp(kosmara::HelpText(), argv[1]) << std::flush;
    return std::cout ? 0 : 1;
}
