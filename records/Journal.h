#pragma once
// The session journal on disk: JSON lines, one event a line, each handed to the operating system
// as it is written, so that a station that is killed loses at most the line being written.
#include <QFile>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

namespace mv62rec {

inline constexpr char kJournalSchema[] = "mv62-journal/1";

class JournalWriter {
  public:
    // Creates the file (never over an existing one).
    bool Open(const QString& path, QString& error);
    // Writes one event as one line with a single write to the operating system; no sync.
    bool Append(const QJsonObject& event, QString& error);
    // The line of a received block, {"bytes", "event": "rx", "ms", "n", "time"}, made straight
    // from the bytes. With `held` it goes out with the next line or Flush, in the same write:
    // the receive handler applies the block's frame at once, without waiting or letting the
    // message queue run, and one write a receive event is what a stream costs.
    bool AppendReceived(std::span<const std::uint8_t> block, qint64 ms, const QString& time,
                        bool held, QString& error);
    // Writes a line made by hand (one JSON object and its newline).
    bool AppendLine(const QByteArray& line, QString& error) { return WriteLine(line, error); }
    // Writes a line still held.
    bool Flush(QString& error);
    // Puts everything written so far on the disk.
    bool Sync();
    // Gives the open file a new name; writing goes on into the same file.
    bool Rename(const QString& path, QString& error);
    void Close();

    bool IsOpen() const { return file_.isOpen(); }
    const QString& Path() const { return path_; }

  private:
    bool WriteLine(const QByteArray& line, QString& error);

    QFile file_;
    QString path_;
    QByteArray held_;
};

// The events of a journal, line by line. A last line cut off in the middle (a killed station) is
// left out and counted in `cutLines`; so is any other line that is not a JSON object.
std::vector<QJsonObject> ReadJournal(const QString& path, int* cutLines = nullptr);

}  // namespace mv62rec
