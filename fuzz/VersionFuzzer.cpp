// Versions come from the update feed. Comparing them must be a consistent
// order whatever they hold, or the updater could offer an older build as
// newer, or two builds each as newer than the other.
#include <QString>
#include <QStringList>

#include "FuzzCheck.h"
#include "app/update/Version.h"

using gm::fuzz::expect;
using gm::update::compareVersions;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Three versions, one a line.
    auto v = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)).split(QLatin1Char('\n'));
    while (v.size() < 3) v << QString();
    const auto order = [&](int i, int j) {
        const int c = compareVersions(v[i], v[j]);
        return (c > 0) - (c < 0);
    };
    const int ab = order(0, 1), bc = order(1, 2), ac = order(0, 2);
    expect(order(0, 0) == 0, "a version equals itself");
    expect(ab == -order(1, 0), "the order is antisymmetric");
    if (ab <= 0 && bc <= 0) expect(ac <= 0, "the order is transitive");
    if (ab == 0 && bc == 0) expect(ac == 0, "equality is transitive");
    if (ab == 0) expect(ac == bc, "equal versions compare alike");
    return 0;
}
