#include "SafeText.h"

namespace mv62rec {

namespace {

bool IsNumber(const QString& text) {
    bool ok = false;
    text.toDouble(&ok);
    // toDouble also reads "inf", "nan" and text with blanks around it: none of them ends in a
    // digit.
    return ok && text.back().isDigit();
}

bool StartsFormula(const QString& text) {
    if (text.isEmpty()) {
        return false;
    }
    switch (text.front().unicode()) {
        case '=':
        case '@':
        case '\t':
        case '\r':
            return true;
        case '+':
        case '-':
            return !IsNumber(text);
        default:
            return false;
    }
}

bool NeedsQuotes(const QString& text) {
    for (const QChar c : text) {
        if (c == u'"' || c == u',' || c == u'\r' || c == u'\n') {
            return true;
        }
    }
    return false;
}

}  // namespace

QString TerminalText(const QString& text) {
    return QString::fromStdString(TerminalText(text.toStdString()));
}

QString CsvField(const QString& text) {
    QString field = StartsFormula(text) ? '\'' + text : text;
    if (!NeedsQuotes(field)) {
        return field;
    }
    field.replace(u'"', QLatin1String("\"\""));
    return '"' + field + '"';
}

QString HtmlText(const QString& text) {
    return text.toHtmlEscaped();
}

}  // namespace mv62rec
