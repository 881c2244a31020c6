// The window's languages: the language-file step of start-up, the pictures
// the file names, and ApplyLanguage with its map from table rows to controls.
#include "Conversions.h"
#include "LanguageFileReader.h"
#include "PictureLoader.h"
#include "TForm1.h"
#include "TabOrder.h"
#include "ui_TForm1.h"

#include <QFile>

namespace {

const QString LanguageFileName = QStringLiteral("Language.mlf");
constexpr int LanguageChoiceHeightPerLanguage = 40;

} // namespace

void TForm1::languageFileStep()
{
    m_languageStepStarted = true;
    if (!QFile::exists(LanguageFileName)) {
        m_languageTable.writeFallbackTexts();
        return;
    }
    LanguageFileReader reader(m_languageTable);
    const LanguageFileSummary summary = reader.read(
        LanguageFileName, [this](int index, const QString &path) { loadPicture(index, path); });
    RadioGroup *choice = m_ui->RadioGroup8;
    choice->clearItems();
    for (int column = 1; column <= summary.languageCount; ++column)
        choice->addItem(m_languageTable.text(column, LanguageTable::LanguageNameRow));
    choice->setItemIndex(Conversions::strToInt(m_savedLanguageIndex));
    choice->setFixedHeight(LanguageChoiceHeightPerLanguage * summary.languageCount);
    ApplyLanguage();
}

void TForm1::loadPicture(int pictureIndex, const QString &path)
{
    QLabel *const targets[] = {m_ui->Image1, m_ui->Image2, m_ui->Image3};
    targets[pictureIndex]->setPixmap(QPixmap::fromImage(PictureLoader::load(path)));
    if (pictureIndex == 2)
        m_infoPictureSet = true;
}

void TForm1::RadioGroup8Click()
{
    ApplyLanguage();
}

void TForm1::ApplyLanguage()
{
    m_languageColumn = m_ui->RadioGroup8->itemIndex() + 1;
    // Column 0 holds no texts: with no language chosen the layout texts stay.
    if (m_languageColumn == 0)
        return;
    applyTexts();
    applyPortsPanelTexts();
    // The choices' new items come last in the tab order until put in their place.
    for (int i = 0; i < m_ui->PageControl1->count(); ++i)
        TabOrder::followLayout(m_ui->PageControl1->widget(i));
}

void TForm1::applyTexts()
{
    auto row = [this](int r) { return m_languageTable.text(m_languageColumn, r); };
    PageControl *pages = m_ui->PageControl1;
    pages->setTabText(pages->indexOf(m_ui->TabSheet5), row(1));
    pages->setTabText(pages->indexOf(m_ui->TabSheet1), row(2));
    pages->setTabText(pages->indexOf(m_ui->TabSheet2), row(3));
    pages->setTabText(pages->indexOf(m_ui->TabSheet3), row(4));
    pages->setTabText(pages->indexOf(m_ui->TabSheet4), row(5));
    m_ui->RadioGroup8->setTitle(row(6));
    m_ui->RadioButton3->setText(row(7));
    m_ui->RadioButton4->setText(row(8));
    m_ui->CheckBox1->setText(row(9));
    m_ui->ComboBox2->setText(row(10));
    m_ui->Button9->setText(row(11));
    m_ui->Button10->setText(row(12));
    m_ui->RadioGroup1->setTitle(row(13));
    m_ui->RadioGroup2->setTitle(row(14));
    m_ui->RadioGroup3->setTitle(row(15));
    m_ui->RadioGroup4->setTitle(row(16));
    m_ui->GroupBox5->setTitle(row(17));
    m_ui->GroupBox6->setTitle(row(18));
    m_ui->GroupBox2->setTitle(row(19));
    m_ui->RadioButton2->setText(row(75));
    applyItemLists();
    m_ui->Button3->setText(row(52));
    m_ui->Button4->setText(row(53));
    m_ui->Button6->setText(row(54));
    m_ui->Button11->setText(row(55));
    m_ui->GroupBox3->setTitle(row(56));
    QLabel *const labels[] = {m_ui->Label16, m_ui->Label1,  m_ui->Label2,  m_ui->Label3,
                              m_ui->Label4,  m_ui->Label5,  m_ui->Label6,  m_ui->Label7,
                              m_ui->Label8,  m_ui->Label9,  m_ui->Label11, m_ui->Label10,
                              m_ui->Label12, m_ui->Label13, m_ui->Label14, m_ui->Label15};
    for (int n = 0; n < 16; ++n)
        labels[n]->setText(row(57) + u' ' + QString::number(n + 1));
    m_ui->Button1->setText(row(58));
    m_ui->Button2->setText(row(59));
    m_ui->Button8->setText(row(60));
    m_ui->Button7->setText(row(61));
    m_ui->Button12->setText(row(80));
    m_ui->StaticText1->setText(row(77));
    m_ui->StaticText2->setText(row(78));
    m_ui->StaticText3->setText(row(79));
}

void TForm1::applyItemLists()
{
    auto rows = [this](int first, int last) {
        QStringList texts;
        for (int r = first; r <= last; ++r)
            texts << m_languageTable.text(m_languageColumn, r);
        return texts;
    };
    m_ui->RadioGroup7->setTitle(rows(20, 20).constFirst());
    m_ui->RadioGroup7->clearItems();
    m_ui->RadioGroup7->setItems(rows(21, 24));
    m_ui->RadioGroup7->setItemIndex(0);
    m_ui->RadioGroup5->setTitle(rows(25, 25).constFirst());
    m_ui->RadioGroup5->clearItems();
    m_ui->RadioGroup5->setItems(rows(26, 31));
    m_ui->RadioGroup5->setItemIndex(0);
    m_ui->RadioGroup6->setTitle(rows(32, 32).constFirst());
    m_ui->RadioGroup6->clearItems();
    m_ui->RadioGroup6->setItems(rows(33, 34));
    m_ui->RadioGroup6->setItemIndex(0);
    m_ui->ComboBox1->setItems(rows(35, 51));
    m_ui->ComboBox1->setItemIndex(0);
}
