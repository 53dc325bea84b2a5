#include "FuzzWindow.h"

#include <cstddef>
#include <string>
#include <vector>

// Fonts are looked up once and kept for the process by the system's font library, which the
// leak check would report from whichever input used a font first; the accessibility bus keeps
// its allocations too.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

namespace Fuzz {

// A leak check after each input would scan the whole heap every time, because Qt fills caches
// as it goes (fonts, text layouts) and so no input frees all it allocated; the scans would
// take nearly all the time. Leaks are still checked once, when the process ends.
void DefaultFlags(int* argc, char*** argv, std::initializer_list<const char*> flags) {
    static std::vector<std::string> texts;
    static std::vector<char*> args;
    texts.assign({"-detect_leaks=0"});
    texts.insert(texts.end(), flags.begin(), flags.end());
    args.assign(*argv, *argv + *argc);
    // Right after the program's name: the command line's own flags come later and win.
    for (size_t i = 0; i < texts.size(); ++i)
        args.insert(args.begin() + 1 + std::ptrdiff_t(i), texts[i].data());
    *argc = int(args.size());
    args.push_back(nullptr);
    *argv = args.data();
}

// The application is never destroyed: the fuzzer ends the process with exit(), and Qt's
// clean-up must not run after the statics it relies on are gone.
void StartApplication() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static TApplication* application = new TApplication(argc, argv);
    application->SetTitle(QStringLiteral("Vell Writer 1.0"));
}

} // namespace Fuzz
