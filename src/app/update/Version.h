#pragma once
#include <QStringView>

namespace gm::update {

// Orders version strings the way people read them: numeric parts compare as numbers
// ("1.10" > "1.9"), missing trailing parts count as zero ("1.2" == "1.2.0"), and a
// trailing word marks a pre-release ("1.2b1" < "1.2", "1.2rc1" > "1.2b3").
// Returns <0, 0 or >0 like strcmp.
int compareVersions(QStringView a, QStringView b);

}  // namespace gm::update
