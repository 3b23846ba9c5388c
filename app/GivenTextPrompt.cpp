#include "GivenTextPrompt.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "GivenText.h"

namespace {

// Texts from a person are shown as they are, never read as markup.
QLabel* PlainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

}  // namespace

TGivenTextPrompt::TGivenTextPrompt(QWidget* parent, const QString& title, const QString& question,
                                   const QString& subject)
    : QDialog(parent), subject_(subject) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PlainLabel(question, this));
    // No length limit on the field: a scan cut to fit would be taken as another serial.
    Field = new QLineEdit(this);
    Field->setMinimumWidth(320);
    layout->addWidget(Field);
    Reason = PlainLabel(QString(), this);
    QPalette palette = Reason->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    Reason->setPalette(palette);
    Reason->hide();
    layout->addWidget(Reason);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TGivenTextPrompt::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TGivenTextPrompt::reject);
    layout->addWidget(buttons);
    Field->setFocus();
}

void TGivenTextPrompt::accept() {
    const mv62rec::GivenText given = mv62rec::CheckGivenText(Field->text());
    if (!given.Good()) {
        Reason->setText("The " + subject_ + ' ' + given.problem + '.');
        Reason->show();
        // The next scan replaces the refused text instead of being appended to it.
        Field->selectAll();
        Field->setFocus();
        return;
    }
    Given = given.text;
    QDialog::accept();
}

std::optional<QString> AskGivenText(QWidget* parent, const QString& title, const QString& question,
                                    const QString& subject) {
    TGivenTextPrompt prompt(parent, title, question, subject);
    if (prompt.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return prompt.Given;
}
