#include "GivenText.h"

#include <QList>

#include "SafeText.h"

namespace mv62rec {

GivenText CheckGivenText(const QString& typed) {
    GivenText given{typed.trimmed(), {}};
    // Counted in characters, not UTF-16 units: a serial may hold letters outside Latin.
    const QList<uint> characters = given.text.toUcs4();
    if (characters.isEmpty()) {
        given.problem = "is empty";
    } else if (characters.size() > kLongestGivenText) {
        given.problem = QString("has %1 characters, more than %2")
                            .arg(characters.size())
                            .arg(kLongestGivenText);
    } else {
        for (const uint c : characters) {
            if (!QChar::isPrint(char32_t(c))) {
                given.problem = "holds a character that cannot be printed";
                break;
            }
        }
    }
    return given;
}

QString QuotedForMessage(const QString& text) {
    constexpr int kLongestQuote = 80;
    QString shown = text.size() > kLongestQuote ? text.left(kLongestQuote) + "..." : text;
    return '"' + TerminalText(shown) + '"';
}

}  // namespace mv62rec
