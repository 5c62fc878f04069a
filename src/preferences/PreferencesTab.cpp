#include "preferences/PreferencesTab.h"

namespace gm::preferences {

std::string_view title(PreferencesTab tab) {
    switch (tab) {
    case PreferencesTab::general: return "General";
    case PreferencesTab::advanced: return "Advanced";
    case PreferencesTab::exceptions: return "Exceptions";
    case PreferencesTab::updates: return "Updates";
    }
    return "General";
}

std::string_view symbolName(PreferencesTab tab) {
    switch (tab) {
    case PreferencesTab::general: return "gear";
    case PreferencesTab::advanced: return "slider.horizontal.3";
    case PreferencesTab::exceptions: return "minus.circle";
    case PreferencesTab::updates: return "arrow.2.circlepath";
    }
    return "gear";
}

std::optional<PreferencesTab> preferencesTabFromTitle(std::string_view value) {
    for (PreferencesTab tab : allPreferencesTabs)
        if (title(tab) == value) return tab;
    return std::nullopt;
}

}  // namespace gm::preferences
