#pragma once
// The tabs of the preferences window, identified by their titles.
#include <array>
#include <optional>
#include <string_view>

namespace gm::preferences {

enum class PreferencesTab { general, advanced, exceptions, updates };

inline constexpr std::array<PreferencesTab, 4> allPreferencesTabs{PreferencesTab::general, PreferencesTab::advanced,
                                                                  PreferencesTab::exceptions, PreferencesTab::updates};

// The title doubles as the tab's identity ("General", "Advanced", ...).
std::string_view title(PreferencesTab tab);
// The name of the tab's symbol image (see Symbols.h).
std::string_view symbolName(PreferencesTab tab);
// Exactly the four titles are accepted, case included.
std::optional<PreferencesTab> preferencesTabFromTitle(std::string_view title);

}  // namespace gm::preferences
