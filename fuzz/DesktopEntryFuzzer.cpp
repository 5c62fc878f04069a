// Desktop entries are files any package, and the user, can install. Any text
// parses or is passed over, and whatever parses can be indexed and looked up
// by every key the application resolver uses.
#include "FuzzCheck.h"
#include "platform/linux/desktop/DesktopEntry.h"

using gm::fuzz::expect;
using namespace gm::platform::linux_desktop;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = gm::fuzz::textOf(data, size);
    splitExec(text);
    unescapeDesktopValue(text);
    auto entry = parseDesktopEntry(text);
    if (!entry) return 0;
    for (const char* locale : {"", "C", "de_DE.UTF-8@euro", "pt_BR", "sr@latin", "_@", ".", "@"})
        entry->localizedName(locale);
    for (const char* desktops : {"", "GNOME", "KDE:GNOME", ":", "::X-Cinnamon:"}) entry->shownInMenus(desktops);
    const auto program = entry->execProgram();

    entry->id = entry->name;
    const auto wmClass = entry->startupWMClass, id = entry->id;
    DesktopEntryIndex index;
    index.add(std::move(*entry));
    expect(index.byId(id) != nullptr, "an added entry is found by its id");
    expect(wmClass.empty() || index.byStartupWMClass(wmClass) != nullptr, "an entry is found by its window class");
    expect(id.empty() || index.byIdIgnoringCase(id) != nullptr, "an entry is found by its id in any case");
    expect(index.firstWithIdPrefix(id) != nullptr, "an entry is found by its whole id as a prefix");
    expect(program.empty() || index.byExecutable(program) != nullptr, "an entry is found by its program");
    return 0;
}
