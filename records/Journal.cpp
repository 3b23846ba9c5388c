#include "Journal.h"

#include <QJsonDocument>
#include <utility>

#include "RecordFiles.h"
#include "Vocabulary.h"

namespace mv62rec {

bool JournalWriter::Open(const QString& path, QString& error) {
    Close();
    file_.setFileName(path);
    // Unbuffered: every line goes to the operating system at once, in one write.
    if (!file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        error = file_.errorString();
        return false;
    }
    path_ = path;
    return true;
}

bool JournalWriter::Append(const QJsonObject& event, QString& error) {
    QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact);
    line += '\n';
    return WriteLine(line, error);
}

bool JournalWriter::Flush(QString& error) {
    return held_.isEmpty() || WriteLine({}, error);
}

bool JournalWriter::AppendReceived(std::span<const std::uint8_t> block, qint64 ms,
                                   const QString& time, bool held, QString& error) {
    // The keys in the order QJsonDocument writes them; hexadecimal and the time need no escapes.
    QByteArray line = "{\"bytes\":\"" + QByteArray::fromStdString(mv62::HexBytes(block)) +
                      "\",\"event\":\"rx\",\"ms\":" + QByteArray::number(ms) +
                      ",\"n\":" + QByteArray::number(static_cast<qulonglong>(block.size())) +
                      ",\"time\":\"" + time.toLatin1() + "\"}\n";
    if (held) {
        QString flushError;
        const bool flushed = Flush(flushError);
        held_ = std::move(line);
        error = flushError;
        return flushed;
    }
    return WriteLine(line, error);
}

bool JournalWriter::WriteLine(const QByteArray& line, QString& error) {
    const QByteArray all = held_.isEmpty() ? line : std::exchange(held_, {}) + line;
    if (file_.write(all) != all.size()) {
        error = file_.errorString();
        return false;
    }
    return true;
}

bool JournalWriter::Sync() {
    QString error;
    return Flush(error) && SyncToDisk(file_);
}

bool JournalWriter::Rename(const QString& path, QString& error) {
    // The static rename leaves this open handle alone: it keeps writing into the renamed file.
    if (!QFile::rename(path_, path)) {
        error = QString("cannot rename %1 to %2").arg(path_, path);
        return false;
    }
    path_ = path;
    return true;
}

void JournalWriter::Close() {
    if (file_.isOpen()) {
        QString error;
        Flush(error);
        SyncToDisk(file_);
        file_.close();
    }
}

std::vector<QJsonObject> ReadJournal(const QString& path, int* cutLines) {
    std::vector<QJsonObject> events;
    int cut = 0;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            const QJsonDocument doc = QJsonDocument::fromJson(line);
            if (line.endsWith('\n') && doc.isObject()) {
                events.push_back(doc.object());
            } else if (!line.trimmed().isEmpty()) {
                ++cut;
            }
        }
    }
    if (cutLines != nullptr) {
        *cutLines = cut;
    }
    return events;
}

}  // namespace mv62rec
