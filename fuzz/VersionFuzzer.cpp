// Versions come from the update feed. Comparing them must be a consistent
// order whatever they hold, or the updater could offer an older build as
// newer, or two builds each as newer than the other.
#include <QString>
#include <QStringList>

#include "FuzzCheck.h"
#include "app/update/Version.h"

using gm::fuzz::expect;
using gm::update::compareVersions;

namespace {
int sign(int v) { return (v > 0) - (v < 0); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Three versions, one a line.
    const auto all = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    auto parts = all.split(QLatin1Char('\n'));
    while (parts.size() < 3) parts << QString();
    const QString& a = parts[0];
    const QString& b = parts[1];
    const QString& c = parts[2];

    expect(compareVersions(a, a) == 0, "a version equals itself");
    const int ab = sign(compareVersions(a, b));
    const int bc = sign(compareVersions(b, c));
    const int ac = sign(compareVersions(a, c));
    expect(ab == -sign(compareVersions(b, a)), "the order is antisymmetric");
    if (ab <= 0 && bc <= 0) expect(ac <= 0, "the order is transitive");
    if (ab == 0 && bc == 0) expect(ac == 0, "equality is transitive");
    if (ab == 0) expect(ac == sign(compareVersions(b, c)), "equal versions compare alike");
    return 0;
}
