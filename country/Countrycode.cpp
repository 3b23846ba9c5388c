#include "Countrycode.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>

#include "Controls.h"

std::array<int, kCountryCount> CountryFlag{};
mv62::CountryMaskBytes CountryMask{};
static_assert(kCountryCount == 8 * mv62::kCountryMaskSize, "one mask bit per country");

namespace {

constexpr int kItemHeight = 13;

// Keeps every row of a check list at the designed item height.
class FixedHeightDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kItemHeight);
        return size;
    }
};

QListWidget* MakeCheckList(QWidget* parent, const char* name, int left, int top) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(left, top, 225, 105);
    list->setItemDelegate(new FixedHeightDelegate(list));
    list->setUniformItemSizes(true);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // An item too long for the list is cut at its edge, never shortened with an ellipsis: the
    // list shows the table's characters only.
    list->setTextElideMode(Qt::ElideNone);
    return list;
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(left, top, 90, 13);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, int left, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, 432, 75, 25);
    return button;
}

}  // namespace

mv62::CountryMaskBytes BuildCountryMask(const std::array<int, kCountryCount>& flags) {
    mv62::CountryMaskBytes mask{};
    for (int i = 0; i < kCountryCount; ++i) {
        if (flags[i] != 0) {
            mask[i / 8] |= static_cast<std::uint8_t>(0x80u >> (i % 8));
        }
    }
    return mask;
}

QString CountryItemText(int index) {
    return QString::fromUtf8(CountryCode.at(index)) + QStringLiteral(" - ") +
           QString::fromUtf8(CountryNameZh.at(index));
}

TCtCode::TCtCode(QWidget* mainWindow, QPlainTextEdit* memoArea)
    : QWidget(mainWindow, Qt::Window), memoArea_(memoArea) {
    setObjectName(QStringLiteral("CtCode"));
    setWindowTitle(QStringLiteral("Code"));
    move(582, 187);
    resize(509, 509);
    SetBackgroundColor(this, ButtonFaceColor());

    CK_List_Asia = MakeCheckList(this, "CK_List_Asia", 16, 32);
    Label1 = MakeLabel(this, "Label1", 16, 16, QStringLiteral("亞洲地區"));
    CK_List_Europe = MakeCheckList(this, "CK_List_Europe", 248, 32);
    Label2 = MakeLabel(this, "Label2", 248, 16, QStringLiteral("歐洲地區"));
    CK_List_East = MakeCheckList(this, "CK_List_East", 16, 168);
    Label3 = MakeLabel(this, "Label3", 16, 152, QStringLiteral("中東地區"));
    CK_List_Africa = MakeCheckList(this, "CK_List_Africa", 248, 168);
    Label4 = MakeLabel(this, "Label4", 248, 152, QStringLiteral("非洲地區"));
    CK_List_Americas = MakeCheckList(this, "CK_List_Americas", 16, 304);
    Label5 = MakeLabel(this, "Label5", 16, 288, QStringLiteral("美洲地區"));
    CK_List_Oceania = MakeCheckList(this, "CK_List_Oceania", 248, 304);
    Label6 = MakeLabel(this, "Label6", 248, 288, QStringLiteral("大洋洲地區"));
    Button1 = MakeButton(this, "Button1", 160, QStringLiteral("OK"));
    Button2 = MakeButton(this, "Button2", 264, QStringLiteral("Cancel"));

    QWidget* tabOrder[] = {CK_List_Asia,     CK_List_Europe,  CK_List_East, CK_List_Africa,
                           CK_List_Americas, CK_List_Oceania, Button1,      Button2};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }

    connect(Button1, &QPushButton::clicked, this, &TCtCode::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TCtCode::Button2Click);

    FormCreate();
}

std::array<QListWidget*, 6> TCtCode::Lists() const {
    return {CK_List_Asia,   CK_List_Europe,   CK_List_East,
            CK_List_Africa, CK_List_Americas, CK_List_Oceania};
}

void TCtCode::FormCreate() {
    // The lists are filled once; item k of a list stands for the region's first index + k.
    if (CK_List_Asia->count() > 0) {
        return;
    }
    const auto lists = Lists();
    for (std::size_t r = 0; r < CountryRegions.size(); ++r) {
        const CountryRegion& region = CountryRegions[r];
        for (int i = region.first; i < region.first + region.count; ++i) {
            // Made whole before it joins the list, so that the list hears of it once.
            auto* item = new QListWidgetItem(CountryItemText(i));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            lists[r]->addItem(item);
        }
    }
}

void TCtCode::Button1Click() {
    const auto lists = Lists();
    for (std::size_t r = 0; r < CountryRegions.size(); ++r) {
        const CountryRegion& region = CountryRegions[r];
        for (int k = 0; k < region.count; ++k) {
            CountryFlag[region.first + k] = lists[r]->item(k)->checkState() == Qt::Checked ? 1 : 0;
        }
    }
    CountryMask = BuildCountryMask(CountryFlag);
    hide();
    if (memoArea_ == nullptr) {
        return;
    }
    for (int i = 0; i < kCountryCount; ++i) {
        if (CountryFlag[i] == 1) {
            memoArea_->appendPlainText(CountryItemText(i));
        }
    }
}

void TCtCode::Button2Click() {
    CountryFlag.fill(0);
    CountryMask.fill(0);
    hide();
}

void TCtCode::closeEvent(QCloseEvent* e) {
    // The close box only hides the dialog; the selection stays as the last OK or Cancel left it.
    e->accept();
    hide();
}
