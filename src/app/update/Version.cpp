#include "app/update/Version.h"

#include <QString>
#include <vector>

namespace gm::update {
namespace {

struct Part {
    bool number = false;
    qulonglong value = 0;
    QString word;
};

// Splits "1.10rc2" into 1, 10, "rc", 2; separators ('.', '-', '_', '+', spaces) only split.
std::vector<Part> split(QStringView text) {
    std::vector<Part> parts;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c.isDigit()) {
            Part p;
            p.number = true;
            while (i < text.size() && text[i].isDigit()) {
                const auto digit = static_cast<qulonglong>(text[i].digitValue());
                // Absurdly long numbers saturate rather than wrap.
                p.value = p.value > (~0ULL - digit) / 10 ? ~0ULL : p.value * 10 + digit;
                ++i;
            }
            parts.push_back(std::move(p));
        } else if (c.isLetter()) {
            Part p;
            while (i < text.size() && text[i].isLetter()) p.word.append(text[i++].toLower());
            parts.push_back(std::move(p));
        } else {
            ++i;
        }
    }
    return parts;
}

}  // namespace

int compareVersions(QStringView a, QStringView b) {
    const auto left = split(a);
    const auto right = split(b);
    const size_t n = std::max(left.size(), right.size());
    for (size_t i = 0; i < n; ++i) {
        const bool haveLeft = i < left.size();
        const bool haveRight = i < right.size();
        if (haveLeft && haveRight) {
            const Part& l = left[i];
            const Part& r = right[i];
            if (l.number && r.number) {
                if (l.value != r.value) return l.value < r.value ? -1 : 1;
            } else if (l.number != r.number) {
                return l.number ? 1 : -1;  // 1.2.1 is past 1.2b
            } else if (const int c = QString::compare(l.word, r.word); c != 0) {
                return c < 0 ? -1 : 1;
            }
            continue;
        }
        // One side has run out: zeros change nothing, a word means a pre-release of the shorter.
        const Part& rest = haveLeft ? left[i] : right[i];
        const int longerSign = haveLeft ? 1 : -1;
        if (rest.number) {
            if (rest.value != 0) return longerSign;
        } else {
            return -longerSign;
        }
    }
    return 0;
}

}  // namespace gm::update
