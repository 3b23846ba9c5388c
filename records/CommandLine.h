#pragma once
// What the station and the records reader say of a command line Qt's parser refused.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace mv62rec {

// Qt names an unknown option without the dashes it was typed with; this names it as typed.
inline QString ParseErrorText(const QCommandLineParser& parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty()) {
        return parser.errorText();
    }
    const QString& name = unknown.first();
    return QString("unknown option %1%2").arg(name.size() == 1 ? "-" : "--", name);
}

}  // namespace mv62rec
