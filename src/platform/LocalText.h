#pragma once
// The program's texts are written with the Mac's names for places and things
// (System Settings, the menu bar, the Applications folder, the Command and
// Option keys). Where this system calls them something else, the one table in
// LocalText.cpp holds each such text in the local words, in the same sentence;
// the views and alerts show every text of that kind through localText().
namespace gm::platform {

// `text` as this system words it: the table's local version, or `text` itself
// when it names nothing that differs here.
const char* localText(const char* text);

}  // namespace gm::platform
