#pragma once
// A small modal prompt for one text a person gives the station before it goes on: the serial
// number of the unit about to be tested, the operator's name. The keyboard focus is in its field,
// so that a barcode scanner, which types the text and ends with Enter, needs no click. Only 1 to
// 64 printable characters (trimmed) are taken; anything else is refused with the reason shown in
// the prompt, which stays open. The field starts empty every time.
#include <QDialog>
#include <QString>
#include <optional>

class QLabel;
class QLineEdit;

class TGivenTextPrompt : public QDialog {
    Q_OBJECT
  public:
    // `subject` names the text in the reason of a refusal: "The <subject> is empty."
    TGivenTextPrompt(QWidget* parent, const QString& title, const QString& question,
                     const QString& subject);

    QLineEdit* Field = nullptr;
    QLabel* Reason = nullptr;  // why the text was refused; hidden until then
    QString Given;             // the accepted text, trimmed

    // Enter or OK: takes a good text and closes, or shows why not and stays open.
    void accept() override;

  private:
    QString subject_;
};

// Shows the prompt over `parent` until it is answered: the text, or nothing for Escape or Cancel.
std::optional<QString> AskGivenText(QWidget* parent, const QString& title, const QString& question,
                                    const QString& subject);
