#include "DatabaseUri.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace mv62rec {

namespace {

constexpr char kPasswordElsewhere[] =
    "the database URI holds a password: put the password in ~/.pgpass or PGPASSFILE";

// A value in libpq's key='value' form.
QString Quoted(QString value) {
    value.replace('\\', "\\\\");
    value.replace('\'', "\\'");
    return '\'' + value + '\'';
}

bool PortFrom(const QString& text, int& port, QString& error) {
    bool ok = false;
    port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        error = QString("the database URI has the port \"%1\": a number from 1 to 65535").arg(text);
        return false;
    }
    return true;
}

}  // namespace

std::optional<DatabaseAddress> ParseDatabaseUri(const QString& uri, QString& error) {
    static const QRegularExpression kForm(
        R"(^(postgresql|postgres)://(?:([^@/?#]*)@)?(\[[^\]/?#]*\]|[^:/?#]*)((?::[^/?#]*)?)(.*)$)",
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch parts = kForm.match(uri);
    if (!parts.hasMatch()) {
        error = QString("\"%1\" is not a database URI such as postgresql://user@host/dbname "
                        "or postgresql:///dbname?host=/socket/folder")
                    .arg(uri);
        return std::nullopt;
    }
    if (parts.captured(2).contains(':')) {
        error = kPasswordElsewhere;
        return std::nullopt;
    }
    // QUrl refuses a host that is a percent-encoded socket folder, which libpq takes: the host is
    // decoded here, and QUrl reads the rest.
    const QString encodedHost = parts.captured(3);
    if (encodedHost.contains(',') || parts.captured(4).contains(',')) {
        error = "the database URI names several hosts: name one";
        return std::nullopt;
    }
    const QString rest = parts.captured(1) + "://" +
                         (parts.hasCaptured(2) ? parts.captured(2) + '@' : QString()) +
                         "h" + parts.captured(4) + parts.captured(5);
    const QUrl url(rest, QUrl::StrictMode);
    if (!url.isValid()) {
        error = QString("\"%1\" is not a database URI: %2").arg(uri, url.errorString());
        return std::nullopt;
    }
    DatabaseAddress address;
    address.host = encodedHost.startsWith('[') ? encodedHost.mid(1, encodedHost.size() - 2)
                                               : QUrl::fromPercentEncoding(encodedHost.toUtf8());
    address.user = url.userName(QUrl::FullyDecoded);
    if (!parts.captured(4).isEmpty() && !PortFrom(parts.captured(4).mid(1), address.port, error)) {
        return std::nullopt;
    }
    address.database = url.path(QUrl::FullyDecoded).mid(1);
    QStringList options;
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        static const QRegularExpression kKey("^[a-z_]+$");
        if (key == "password") {
            error = kPasswordElsewhere;
            return std::nullopt;
        }
        if (!kKey.match(key).hasMatch()) {
            error = QString("the database URI has the parameter \"%1\": not one of libpq's").arg(key);
            return std::nullopt;
        }
        if (key == "host" || key == "hostaddr") {
            if (value.contains(',')) {
                error = "the database URI names several hosts: name one";
                return std::nullopt;
            }
            if (key == "host") {
                address.host = value;
                continue;
            }
        } else if (key == "port") {
            if (!PortFrom(value, address.port, error)) {
                return std::nullopt;
            }
            continue;
        } else if (key == "dbname") {
            address.database = value;
            continue;
        } else if (key == "user") {
            address.user = value;
            continue;
        }
        // Qt's driver turns every ';' of its options into a blank.
        if (value.contains(';')) {
            error = QString("the database URI's parameter %1 holds a ';', which cannot be passed on")
                        .arg(key);
            return std::nullopt;
        }
        options << key + '=' + Quoted(value);
    }
    address.options = options.join(';');
    return address;
}

}  // namespace mv62rec
