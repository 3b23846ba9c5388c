// The country selection dialog, headless: list contents, ticks to flags, mask and memo lines,
// OK / Cancel / close box, and ticking by keyboard and mouse.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <algorithm>
#include <memory>

#include "Controls.h"
#include "Countrycode.h"

namespace {

class CountryDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        CountryFlag.fill(0);
        CountryMask.fill(0);
        main = std::make_unique<QWidget>();
        memo = new QPlainTextEdit(main.get());
        dlg = new TCtCode(main.get(), memo);
    }

    QListWidgetItem* Item(int index) const {
        const auto lists = dlg->Lists();
        for (std::size_t r = 0; r < CountryRegions.size(); ++r) {
            const int k = index - CountryRegions[r].first;
            if (k >= 0 && k < CountryRegions[r].count) {
                return lists[r]->item(k);
            }
        }
        return nullptr;
    }
    void Tick(int index) const { Item(index)->setCheckState(Qt::Checked); }
    QStringList MemoLines() const {
        const QString text = memo->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }
    std::array<std::uint8_t, 30> MaskWith(std::initializer_list<std::pair<int, int>> bytes) const {
        std::array<std::uint8_t, 30> mask{};
        for (const auto& [k, v] : bytes) {
            mask[k] = static_cast<std::uint8_t>(v);
        }
        return mask;
    }

    std::unique_ptr<QWidget> main;
    QPlainTextEdit* memo = nullptr;
    TCtCode* dlg = nullptr;
};

TEST_F(CountryDialog, WindowAndControls) {
    EXPECT_TRUE(dlg->isWindow());
    EXPECT_TRUE(dlg->isHidden());
    EXPECT_EQ(dlg->parentWidget(), main.get());
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Code"));
    EXPECT_EQ(dlg->pos(), QPoint(582, 187));
    EXPECT_EQ(dlg->size(), QSize(509, 509));
    EXPECT_EQ(dlg->windowModality(), Qt::NonModal);

    const QLabel* labels[] = {dlg->Label1, dlg->Label2, dlg->Label3,
                              dlg->Label4, dlg->Label5, dlg->Label6};
    const char* captions[] = {"亞洲地區", "歐洲地區", "中東地區",
                              "非洲地區", "美洲地區", "大洋洲地區"};
    const auto lists = dlg->Lists();
    for (int r = 0; r < 6; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(labels[r]->text(), QString::fromUtf8(captions[r]));
        EXPECT_EQ(labels[r]->geometry(), QRect(r % 2 ? 248 : 16, 16 + 136 * (r / 2), 90, 13));
        EXPECT_EQ(lists[r]->geometry(), QRect(r % 2 ? 248 : 16, 32 + 136 * (r / 2), 225, 105));
    }
    // The main window's button face, and captions at the top of their labels.
    EXPECT_EQ(BackgroundColor(dlg), QColor(0xF0, 0xF0, 0xF0));
    EXPECT_TRUE(dlg->autoFillBackground());
    for (const QLabel* l : labels) {
        EXPECT_EQ(l->alignment(), Qt::AlignLeft | Qt::AlignTop);
    }
    EXPECT_EQ(dlg->Button1->text(), QStringLiteral("OK"));
    EXPECT_EQ(dlg->Button2->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(dlg->Button1->geometry(), QRect(160, 432, 75, 25));
    EXPECT_EQ(dlg->Button2->geometry(), QRect(264, 432, 75, 25));

    // Tab order: the six lists in region order, then OK, then Cancel.
    dlg->show();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg));
    lists[0]->setFocus();
    QWidget* expected[] = {lists[1], lists[2],     lists[3],     lists[4],
                           lists[5], dlg->Button1, dlg->Button2, lists[0]};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
}

TEST_F(CountryDialog, ListsHoldTheRegionsInTableOrder) {
    const auto lists = dlg->Lists();
    for (std::size_t r = 0; r < CountryRegions.size(); ++r) {
        ASSERT_EQ(lists[r]->count(), CountryRegions[r].count);
        for (int k = 0; k < lists[r]->count(); ++k) {
            const QListWidgetItem* item = lists[r]->item(k);
            const int index = CountryRegions[r].first + k;
            EXPECT_EQ(item->text(), CountryItemText(index));
            EXPECT_EQ(item->checkState(), Qt::Unchecked);
            EXPECT_TRUE(item->flags() & Qt::ItemIsUserCheckable);
            EXPECT_FALSE(item->flags() & Qt::ItemIsUserTristate);
            EXPECT_EQ(lists[r]->visualItemRect(item).height(), 13);
        }
    }
    EXPECT_EQ(Item(0)->text(), QString::fromUtf8("AF - 阿富汗 "));
    EXPECT_EQ(Item(10)->text(), QString::fromUtf8("IN - 印度"));
    EXPECT_EQ(Item(12)->text(), QString::fromUtf8("JP - 日本 "));
    EXPECT_EQ(Item(217)->text(), QString::fromUtf8("AS - 美屬薩摩亞"));
    EXPECT_EQ(Item(239)->text(), QString::fromUtf8("WS - 薩摩亞 "));

    // A second FormCreate does not fill the lists again.
    dlg->FormCreate();
    EXPECT_EQ(lists[0]->count(), 33);
}

// The lists show each country's characters as the table gives them: an item too long for its
// list is cut at the list's edge, never shortened with an ellipsis.
TEST_F(CountryDialog, ItemsAreCutAtTheEdgeNeverElided) {
    for (int i = 0; i < kCountryCount; ++i) {
        EXPECT_EQ(Item(i)->text(),
                  QString::fromUtf8(CountryCode[i]) + " - " + QString::fromUtf8(CountryNameZh[i]));
    }

    // The list as designed draws the same pixels as the same list wide enough for every item,
    // up to its edge. All rows are made visible, so no scroll bar takes part.
    dlg->show();
    const auto lists = dlg->Lists();
    for (std::size_t r = 0; r < lists.size(); ++r) {
        SCOPED_TRACE(r);
        QListWidget* list = lists[r];
        list->resize(225, list->count() * 13 + 2 * list->frameWidth());
        QApplication::processEvents();
        ASSERT_FALSE(list->verticalScrollBar()->isVisible());
        // The last columns hold the frame of the current item, drawn at the row's end.
        const int edge = list->viewport()->geometry().right();
        const QRect compared(0, 0, edge - 2, list->height());
        const QImage narrow = list->grab(compared).toImage();
        list->resize(1000, list->height());
        QApplication::processEvents();
        const QImage wide = list->grab(compared).toImage();
        EXPECT_EQ(narrow, wide);
    }
    // Africa's row 144 is wider than its list, so there is an item to cut.
    EXPECT_GT(lists[3]->fontMetrics().horizontalAdvance(Item(144)->text()) + 20, 225);
}

TEST_F(CountryDialog, OkBuildsMaskAtTheEdges) {
    dlg->show();
    dlg->Button1Click();
    EXPECT_TRUE(dlg->isHidden());
    EXPECT_EQ(CountryMask, MaskWith({}));
    EXPECT_TRUE(MemoLines().isEmpty());

    Tick(0);
    dlg->Button1Click();
    EXPECT_EQ(CountryMask, MaskWith({{0, 0x80}}));
    EXPECT_EQ(CountryFlag[0], 1);

    Item(0)->setCheckState(Qt::Unchecked);
    Tick(32);  // last of Asia
    Tick(33);  // first of Europe
    dlg->Button1Click();
    EXPECT_EQ(CountryMask, MaskWith({{4, 0xC0}}));
    EXPECT_EQ(CountryFlag[0], 0);

    Item(32)->setCheckState(Qt::Unchecked);
    Item(33)->setCheckState(Qt::Unchecked);
    Tick(239);
    dlg->Button1Click();
    EXPECT_EQ(CountryMask, MaskWith({{29, 0x01}}));
    EXPECT_EQ(std::count(CountryFlag.begin(), CountryFlag.end(), 1), 1);

    EXPECT_EQ(
        MemoLines(),
        (QStringList{QString::fromUtf8("AF - 阿富汗 "), QString::fromUtf8("VN - 越南 "),
                     QString::fromUtf8("AX - 奧蘭群島 "), QString::fromUtf8("WS - 薩摩亞 ")}));
}

TEST_F(CountryDialog, EverythingTicked) {
    for (int i = 0; i < kCountryCount; ++i) {
        Tick(i);
    }
    dlg->Button1->click();
    std::array<std::uint8_t, 30> full{};
    full.fill(0xFF);
    EXPECT_EQ(CountryMask, full);
    const QStringList lines = MemoLines();
    ASSERT_EQ(lines.size(), kCountryCount);
    for (int i = 0; i < kCountryCount; ++i) {
        EXPECT_EQ(lines[i], CountryItemText(i));
    }
}

TEST_F(CountryDialog, MemoFollowsIndexWhateverTheTickOrderAndKeepsEarlierLines) {
    memo->appendPlainText(QStringLiteral("earlier"));
    Tick(200);
    Tick(5);
    Tick(100);
    Tick(33);
    dlg->Button1Click();
    dlg->Button1Click();
    const QStringList once = {CountryItemText(5), CountryItemText(33), CountryItemText(100),
                              CountryItemText(200)};
    EXPECT_EQ(MemoLines(), QStringList{QStringLiteral("earlier")} + once + once);
}

TEST_F(CountryDialog, CancelEmptiesSelectionButKeepsTicksAndMemo) {
    Tick(7);
    Tick(150);
    dlg->Button1Click();
    ASSERT_NE(CountryMask, MaskWith({}));
    const QStringList lines = MemoLines();

    dlg->show();
    dlg->Button2->click();
    EXPECT_TRUE(dlg->isHidden());
    EXPECT_EQ(CountryMask, MaskWith({}));
    EXPECT_EQ(std::count(CountryFlag.begin(), CountryFlag.end(), 0), kCountryCount);
    EXPECT_EQ(MemoLines(), lines);
    EXPECT_EQ(Item(7)->checkState(), Qt::Checked);
    EXPECT_EQ(Item(150)->checkState(), Qt::Checked);

    // The next OK rebuilds the mask from the ticks still shown.
    dlg->Button1Click();
    EXPECT_EQ(CountryMask, MaskWith({{0, 0x01}, {18, 0x02}}));
}

TEST_F(CountryDialog, CloseBoxOnlyHides) {
    Tick(9);
    dlg->Button1Click();
    const auto mask = CountryMask;
    const auto flags = CountryFlag;

    dlg->show();
    Tick(10);
    EXPECT_TRUE(dlg->close());
    EXPECT_TRUE(dlg->isHidden());
    EXPECT_EQ(CountryMask, mask);
    EXPECT_EQ(CountryFlag, flags);
    EXPECT_EQ(MemoLines().size(), 1);

    // Shown again, the ticks are still there.
    dlg->show();
    EXPECT_FALSE(dlg->isHidden());
    EXPECT_EQ(Item(10)->checkState(), Qt::Checked);
}

TEST_F(CountryDialog, SpaceAndCheckBoxClickFlipTwoStates) {
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg));
    QListWidget* list = dlg->CK_List_Asia;
    QListWidgetItem* item = list->item(2);
    list->setFocus();
    list->setCurrentItem(item);

    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(item->checkState(), Qt::Checked);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(item->checkState(), Qt::Unchecked);

    // A click on the text selects only; a click on the check box ticks.
    QListWidgetItem* other = list->item(3);
    const QRect rect = list->visualItemRect(other);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(rect.right() - 20, rect.center().y()));
    EXPECT_EQ(list->currentItem(), other);
    EXPECT_EQ(other->checkState(), Qt::Unchecked);

    QStyleOptionViewItem opt;
    opt.initFrom(list);
    opt.rect = rect;
    opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    opt.text = other->text();
    const QRect box =
        list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    EXPECT_EQ(other->checkState(), Qt::Checked);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    EXPECT_EQ(other->checkState(), Qt::Unchecked);
}

}  // namespace
