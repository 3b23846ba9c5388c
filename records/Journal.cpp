#include "Journal.h"

#include <QJsonDocument>
#include <limits>
#include <utility>

#include "RecordFiles.h"

namespace mv62rec {

bool JournalWriter::Open(const QString& path, QString& error) {
    Close();
    written_ = 0;
    file_.setFileName(path);
    // Unbuffered: every line goes to the operating system at once, in one write.
    if (!file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        error = file_.errorString();
        return false;
    }
    path_ = path;
    return true;
}

bool JournalWriter::Flush(QString& error) {
    return held_.isEmpty() || WriteLine({}, error);
}

bool JournalWriter::Hold(QByteArray line, QString& error) {
    const bool flushed = Flush(error);
    held_ = std::move(line);
    return flushed;
}

bool JournalWriter::WriteLine(const QByteArray& line, QString& error) {
    const QByteArray all = held_.isEmpty() ? line : std::exchange(held_, {}) + line;
    if (all.isEmpty()) {
        return true;
    }
    if (!WriteToFile(file_, all, error)) {
        // A full disk can take part of a line: the journal keeps whole lines only.
        file_.resize(written_);
        file_.seek(written_);
        return false;
    }
    written_ += all.size();
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
    if (!file_.isOpen()) {
        return;
    }
    QString error;
    Flush(error);
    if (written_ == 0) {
        // Not even the link's first line: a journal that says nothing is not kept.
        file_.remove();
        path_.clear();
        return;
    }
    SyncToDisk(file_);
    file_.close();
}

bool JournalReader::Open(const QString& path, QString& error) {
    file_.close();
    cutLines_ = 0;
    return OpenRegularFile(file_, path, std::numeric_limits<qint64>::max(), error);
}

bool JournalReader::Next(QJsonObject& event) {
    // One buffer for every line: a line is read into it, never allocated on its own.
    if (buffer_.isEmpty()) {
        buffer_.resize(kLongestJournalLine + 1);
    }
    const auto readLine = [&] { return file_.readLine(buffer_.data(), buffer_.size()); };
    for (qint64 length = readLine(); length > 0; length = readLine()) {
        const bool ended = buffer_[length - 1] == '\n';
        if (!ended && length == kLongestJournalLine) {
            // Longer than any event: the rest of it is read past.
            while ((length = readLine()) > 0 && buffer_[length - 1] != '\n') {
            }
            ++cutLines_;
            continue;
        }
        const QByteArray line = QByteArray::fromRawData(buffer_.constData(), length);
        const QJsonDocument doc = ended ? QJsonDocument::fromJson(line) : QJsonDocument();
        if (doc.isObject()) {
            event = doc.object();
            return true;
        }
        if (!line.trimmed().isEmpty()) {
            ++cutLines_;  // cut off in the middle (a killed station), or not JSON
        }
    }
    return false;
}

std::vector<QJsonObject> ReadJournal(const QString& path, int* cutLines) {
    std::vector<QJsonObject> events;
    JournalReader reader;
    QString error;
    if (reader.Open(path, error)) {
        for (QJsonObject event; reader.Next(event);) {
            events.push_back(std::move(event));
        }
    }
    if (cutLines != nullptr) {
        *cutLines = reader.CutLines();
    }
    return events;
}

}  // namespace mv62rec
