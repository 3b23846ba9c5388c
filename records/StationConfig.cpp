#include "StationConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringList>
#include <QUrlQuery>

#include "GivenText.h"

namespace mv62rec {

namespace {

constexpr qint64 kLargestFile = 64 * 1024;

struct KnownGroup {
    QString name;
    QStringList keys;
};

const QList<KnownGroup>& KnownGroups() {
    static const QList<KnownGroup> groups = {
        {"station", {"id", "line", "location"}},
        {"records", {"folder", "ask_serial", "ask_operator"}},
        {"database", {"uri"}},
    };
    return groups;
}

const KnownGroup* FindGroup(const QString& name) {
    for (const KnownGroup& group : KnownGroups()) {
        if (group.name == name) {
            return &group;
        }
    }
    return nullptr;
}

// "a, b and c"
QString Listed(QStringList items) {
    const QString last = items.takeLast();
    return items.isEmpty() ? last : items.join(", ") + " and " + last;
}

QString GroupNames() {
    QStringList names;
    for (const KnownGroup& group : KnownGroups()) {
        names << '[' + group.name + ']';
    }
    return Listed(names);
}

QString UnknownGroup(const QString& name) {
    return '[' + name + "]: unknown group; the groups are " + GroupNames();
}

QString UnknownKey(const KnownGroup& group, const QString& key) {
    return QString("[%1] %2: unknown key; [%1] takes %3").arg(group.name, key, Listed(group.keys));
}

QString OutsideGroups(const QString& key) {
    return key + ": a key outside any group; keys go under " + GroupNames();
}

// The libpq URI without its password: "user:password@" before the host, or password= among its
// parameters.
bool HoldsPassword(const QString& uri) {
    const qsizetype schemeEnd = uri.indexOf("://");
    const QString rest = schemeEnd < 0 ? uri : uri.mid(schemeEnd + 3);
    const qsizetype authorityEnd = rest.indexOf(QRegularExpression("[/?]"));
    const QString authority = rest.left(authorityEnd);
    const qsizetype at = authority.lastIndexOf('@');
    if (at >= 0 && authority.left(at).contains(':')) {
        return true;
    }
    const qsizetype query = rest.indexOf('?');
    if (query >= 0) {
        for (const auto& [name, value] :
             QUrlQuery(rest.mid(query + 1)).queryItems(QUrl::FullyDecoded)) {
            if (name == "password") {
                return true;
            }
        }
    }
    return false;
}

// A line of the file as a message quotes it; one that may hold a password is not shown.
QString ShownLine(int lineNumber, const QString& line) {
    return QString("line %1: %2")
        .arg(lineNumber)
        .arg(HoldsPassword(line) ? QString("(not shown, it may hold a password)")
                                 : QuotedForMessage(line));
}

QString Malformed(int lineNumber, const QString& line) {
    return ShownLine(lineNumber, line) + " is neither a comment, a [group] nor key=value";
}

// A comment line as people write them; QSettings itself knows only ';' and reads a '#' line
// with '=' in it as a key, which the check of the keys passes over.
bool IsComment(const QString& line) {
    return line.startsWith(';') || line.startsWith('#');
}

// QSettings reads nearly anything as INI and guesses at what it cannot read. This refuses, line
// by line, what it would guess at, and what the station does not know: a line that is neither
// blank, a comment, a [group] nor key=value, a line that QSettings would join to the next, a key
// outside the groups, an unknown group or key, a key set twice. Returns what is wrong with the
// first such line.
QString CheckLines(const QString& text) {
    const KnownGroup* group = nullptr;
    QHash<QString, int> lineOfKey;
    const QStringList lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNumber = i + 1;
        const QString line = lines[i].trimmed();
        if (line.endsWith('\\')) {
            return ShownLine(lineNumber, line) +
                   " ends with a backslash, which joins the next line to it";
        }
        if (line.isEmpty() || IsComment(line)) {
            continue;
        }
        if (line.startsWith('[')) {
            if (!line.endsWith(']') || line.size() < 3) {
                return Malformed(lineNumber, line);
            }
            const QString name = line.mid(1, line.size() - 2).trimmed();
            group = FindGroup(name);
            if (group == nullptr) {
                return UnknownGroup(name);
            }
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        const QString key = equals < 0 ? QString() : line.left(equals).trimmed();
        if (key.isEmpty()) {
            return Malformed(lineNumber, line);
        }
        if (group == nullptr) {
            return OutsideGroups(key);
        }
        if (!group->keys.contains(key)) {
            return UnknownKey(*group, key);
        }
        const QString fullKey = group->name + '/' + key;
        if (lineOfKey.contains(fullKey)) {
            return QString("[%1] %2: set twice, on lines %3 and %4")
                .arg(group->name, key)
                .arg(lineOfKey[fullKey])
                .arg(lineNumber);
        }
        lineOfKey.insert(fullKey, lineNumber);
    }
    return {};
}

// The values of the keys, each checked; the first fault is kept in `error` as "[group] key: what
// is wrong", and the keys read after it are passed over.
class ConfigValues {
  public:
    explicit ConfigValues(const QSettings& settings) : settings_(settings) {}

    QString error;

    std::optional<QString> Text(const QString& key) {
        const std::optional<QString> raw = Raw(key);
        if (!raw) {
            return std::nullopt;
        }
        const GivenText given = CheckGivenText(*raw);
        if (!given.Good()) {
            return Fail(key, QuotedForMessage(*raw) + ' ' + given.problem);
        }
        return given.text;
    }

    bool Flag(const QString& key) {
        const std::optional<QString> raw = Raw(key);
        if (!raw) {
            return false;
        }
        const QString word = raw->trimmed().toLower();
        if (word == "true" || word == "yes" || word == "1") {
            return true;
        }
        if (word != "false" && word != "no" && word != "0") {
            Fail(key, QuotedForMessage(*raw) + " is not true or false");
        }
        return false;
    }

    std::optional<QString> Folder(const QString& key) {
        const std::optional<QString> raw = Raw(key);
        if (!raw) {
            return std::nullopt;
        }
        QString folder = raw->trimmed();
        if (folder.isEmpty()) {
            return Fail(key, "is empty");
        }
        if (folder == "~" || folder.startsWith("~/")) {
            folder = QDir::homePath() + folder.mid(1);
        }
        // A relative folder would depend on where the station was started from: the records of
        // one bench would end up in several places.
        if (!QDir::isAbsolutePath(folder)) {
            return Fail(key, QuotedForMessage(*raw) + " is not an absolute path");
        }
        return folder;
    }

    std::optional<QString> DatabaseUri(const QString& key) {
        const std::optional<QString> raw = Raw(key);
        if (!raw) {
            return std::nullopt;
        }
        const QString uri = raw->trimmed();
        // Checked first, so that no message shows the password.
        if (HoldsPassword(uri)) {
            return Fail(key, "holds a password; passwords go in ~/.pgpass or PGPASSFILE");
        }
        for (const QChar c : uri) {
            if (!c.isPrint() || c.isSpace()) {
                return Fail(key, QuotedForMessage(*raw) +
                                     " holds a blank or a character that cannot be printed");
            }
        }
        if (!uri.startsWith("postgresql://") && !uri.startsWith("postgres://")) {
            return Fail(key,
                        QuotedForMessage(*raw) +
                            " is not a postgresql:// URI such as postgresql://user@host/dbname");
        }
        return uri;
    }

  private:
    // The key's text as QSettings read it, when the file sets it.
    std::optional<QString> Raw(const QString& key) {
        if (!error.isEmpty() || !settings_.contains(key)) {
            return std::nullopt;
        }
        const QVariant value = settings_.value(key);
        if (value.typeId() == QMetaType::QStringList) {
            return Fail(key, "a comma makes a list of this value; put the value in double quotes");
        }
        if (value.typeId() != QMetaType::QString) {
            return Fail(key, "is not a text (a value beginning with @ is read as another type)");
        }
        return value.toString();
    }

    std::nullopt_t Fail(const QString& key, const QString& problem) {
        if (error.isEmpty()) {
            const qsizetype slash = key.indexOf('/');
            error = '[' + key.left(slash) + "] " + key.mid(slash + 1) + ": " + problem;
        }
        return std::nullopt;
    }

    const QSettings& settings_;
};

}  // namespace

QString StationConfigPath(const QString& given) {
    if (!given.isEmpty()) {
        return given;
    }
    return QStandardPaths::locate(QStandardPaths::GenericConfigLocation,
                                  "mv62-station/station.conf");
}

std::optional<StationConfig> ReadStationConfig(const QString& path, QString& error) {
    const auto fail = [&](const QString& what) {
        error = path + ": " + what;
        return std::nullopt;
    };
    const QFileInfo info(path);
    if (!info.exists()) {
        return fail("does not exist");
    }
    if (info.isDir()) {
        return fail("is a folder, not a file");
    }
    if (!info.isFile()) {
        return fail("is not a regular file");  // a FIFO would hold the station up
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail("cannot be read (" + file.errorString() + ')');
    }
    const QByteArray bytes = file.read(kLargestFile + 1);
    if (file.error() != QFileDevice::NoError) {
        return fail("cannot be read (" + file.errorString() + ')');
    }
    if (bytes.size() > kLargestFile) {
        return fail(QString("is larger than %1 KiB, too large for a configuration file")
                        .arg(kLargestFile / 1024));
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (utf8.hasError()) {
        return fail("is not UTF-8 text");
    }
    if (const QString problem = CheckLines(text); !problem.isEmpty()) {
        return fail(problem);
    }

    const QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        return fail("cannot be read as an INI file");
    }
    // The lines are checked; QSettings may still decode a key into one it does not name (a
    // percent sign or a slash in it).
    for (const QString& fullKey : settings.allKeys()) {
        if (fullKey.split('/').first().startsWith('#') || fullKey.section('/', 1).startsWith('#')) {
            continue;  // a comment line with '=' in it
        }
        const qsizetype slash = fullKey.indexOf('/');
        if (slash < 0) {
            return fail(OutsideGroups(fullKey));
        }
        const KnownGroup* group = FindGroup(fullKey.left(slash));
        if (group == nullptr) {
            return fail(UnknownGroup(fullKey.left(slash)));
        }
        if (!group->keys.contains(fullKey.mid(slash + 1))) {
            return fail(UnknownKey(*group, fullKey.mid(slash + 1)));
        }
    }

    ConfigValues values(settings);
    StationConfig config;
    config.stationId = values.Text("station/id");
    config.line = values.Text("station/line");
    config.location = values.Text("station/location");
    config.recordsFolder = values.Folder("records/folder");
    config.askSerial = values.Flag("records/ask_serial");
    config.askOperator = values.Flag("records/ask_operator");
    config.databaseUri = values.DatabaseUri("database/uri");
    if (!values.error.isEmpty()) {
        return fail(values.error);
    }
    return config;
}

}  // namespace mv62rec
