#pragma once
// TCtCode: the country selection dialog. Its OK turns the ticks of six region lists into the
// selection flags and the 30-byte country mask that the write-in sends to the device.
#include <QWidget>
#include <array>
#include <cstdint>

#include "CountryTable.h"
#include "Vocabulary.h"

class QListWidget;
class QLabel;
class QPushButton;
class QPlainTextEdit;

// Selection state of the dialog's unit; only OK and Cancel change it.
extern std::array<int, kCountryCount> CountryFlag;
extern mv62::CountryMaskBytes CountryMask;

// Mask byte k carries countries 8k..8k+7, country 8k in bit 7.
mv62::CountryMaskBytes BuildCountryMask(const std::array<int, kCountryCount>& flags);
// "AF - 阿富汗 ": the list item and MemoArea line of one country.
QString CountryItemText(int index);

class TCtCode : public QWidget {
    Q_OBJECT
  public:
    // `memoArea` is the main window's list of chosen countries.
    TCtCode(QWidget* mainWindow, QPlainTextEdit* memoArea);

    QListWidget* CK_List_Asia = nullptr;
    QLabel* Label1 = nullptr;
    QListWidget* CK_List_Europe = nullptr;
    QLabel* Label2 = nullptr;
    QListWidget* CK_List_East = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* CK_List_Africa = nullptr;
    QLabel* Label4 = nullptr;
    QListWidget* CK_List_Americas = nullptr;
    QLabel* Label5 = nullptr;
    QListWidget* CK_List_Oceania = nullptr;
    QLabel* Label6 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    void FormCreate();
    void Button1Click();
    void Button2Click();
    // The six lists in region order.
    std::array<QListWidget*, 6> Lists() const;

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    QPlainTextEdit* memoArea_;
};
