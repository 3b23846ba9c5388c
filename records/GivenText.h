#pragma once
// A text a person gives the station: a unit's serial number, an operator's name, a station's id,
// line or location. Typed, scanned or configured, it must fit in a record, a file name part and a
// CSV column: 1 to 64 printable characters once the blanks around it are trimmed.
#include <QString>

namespace mv62rec {

constexpr int kLongestGivenText = 64;

struct GivenText {
    QString text;     // trimmed
    QString problem;  // what is wrong, such as "is empty"; empty when the text is good
    bool Good() const { return problem.isEmpty(); }
};

GivenText CheckGivenText(const QString& typed);

// A text for a one-line message: quoted, control characters shown as escapes, a long one cut.
QString QuotedForMessage(const QString& text);

}  // namespace mv62rec
