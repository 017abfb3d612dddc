// The index editor window, driven with the keyboard and its two file buttons.
#include "FakePrompts.h"
#include "TestSupport.h"
#include "builder/build/IndexFile.h"
#include "builder/dialogs/Index.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace vellora;
using Rows = QList<QStringList>;

class TestIndexEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void startState();
    void typingMovesThroughCellsAndAppendsRows();
    void pageCellTakesFiveDigitsAndMovesOn();
    void insertAndDeleteRows();
    void numbering_data();
    void numbering();
    void pageCellsAreTrimmed_data();
    void pageCellsAreTrimmed();
    void saveAndOpenGiveBackTheRows();
    void emptyFileIsRefused();
    void cancelledDialogsChangeNothing();

private:
    Rows rows() const { return m_form->grid().rows; }
    void type(const QString& text);

    FakePrompts m_prompts;
    std::unique_ptr<TindexForm> m_form;
    QTemporaryDir m_dir;
};

void TestIndexEditor::initTestCase()
{
    setPrompts(&m_prompts);
}

void TestIndexEditor::init()
{
    m_prompts.clear();
    m_form = std::make_unique<TindexForm>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->AdvStringGrid1->setFocus();
}

void TestIndexEditor::type(const QString& text)
{
    // The first key opens the cell's editor; the rest go to whatever has the focus then.
    for (const QChar c : text)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

void TestIndexEditor::startState()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Index Creation"));
    QCOMPARE(rows(), (Rows{{"Page", "Description"}, {"", ""}}));
    QCOMPARE(m_form->AdvGlowButton1->text(), QStringLiteral("Save catalog"));
    QCOMPARE(m_form->AdvGlowButton2->text(), QStringLiteral("Open catalog"));
    QVERIFY(m_form->HTMLabel1->text().contains("<b>Ins </b>to add a row/ "));
    QCOMPARE(m_form->AdvStringGrid1->columnWidth(0), 45);
}

void TestIndexEditor::typingMovesThroughCellsAndAppendsRows()
{
    QTableWidget* grid = m_form->AdvStringGrid1;
    grid->setCurrentCell(1, 0);
    type("3");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(grid->currentRow(), 1);
    QCOMPARE(grid->currentColumn(), 1);
    type("Prix");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // Enter in the last cell appends a row numbered after the one above.
    QCOMPARE(rows(), (Rows{{"Page", "Description"}, {"3", "Prix"}, {"4", ""}}));
    QCOMPARE(grid->currentRow(), 2);
    QCOMPARE(grid->currentColumn(), 0);
    // Enter without editing moves on too.
    QTest::keyClick(grid, Qt::Key_Return);
    QCOMPARE(grid->currentColumn(), 1);
}

void TestIndexEditor::pageCellTakesFiveDigitsAndMovesOn()
{
    QTableWidget* grid = m_form->AdvStringGrid1;
    grid->setCurrentCell(1, 0);
    type("12a3456");
    QTRY_COMPARE(grid->currentColumn(), 1);
    QCOMPARE(rows()[1][0], QStringLiteral("12345"));
}

void TestIndexEditor::insertAndDeleteRows()
{
    QTableWidget* grid = m_form->AdvStringGrid1;
    grid->item(1, 0)->setText("4");
    grid->item(1, 1)->setText("Quatre");
    grid->setCurrentCell(1, 1);
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(rows(), (Rows{{"Page", "Description"}, {"4", "Quatre"}, {"5", ""}}));
    QCOMPARE(grid->currentRow(), 2);
    grid->setCurrentCell(0, 0);
    QTest::keyClick(grid, Qt::Key_Insert); // after the captions row: the first data row
    QCOMPARE(rows(), (Rows{{"Page", "Description"}, {"1", ""}, {"4", "Quatre"}, {"5", ""}}));

    grid->setCurrentCell(2, 0);
    QTest::keyClick(grid, Qt::Key_Delete);
    QCOMPARE(rows(), (Rows{{"Page", "Description"}, {"1", ""}, {"5", ""}}));
    grid->setCurrentCell(0, 1);
    QTest::keyClick(grid, Qt::Key_Delete); // the captions row stays
    QCOMPARE(rows().size(), 3);
}

void TestIndexEditor::numbering_data()
{
    QTest::addColumn<QString>("above");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("message");
    QTest::newRow("after a page") << "4"
                                  << "5"
                                  << "";
    QTest::newRow("after an empty cell") << ""
                                         << "1"
                                         << "";
    QTest::newRow("after a lone minus") << "-"
                                        << "1"
                                        << "";
    QTest::newRow("after text") << "x2"
                                << ""
                                << "Erreur: Cell does not contain integer value";
}

void TestIndexEditor::numbering()
{
    QFETCH(QString, above);
    QFETCH(QString, number);
    QFETCH(QString, message);
    QTableWidget* grid = m_form->AdvStringGrid1;
    grid->item(1, 0)->setText(above);
    grid->setCurrentCell(1, 0);
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(rows()[2][0], number);
    QCOMPARE(m_prompts.messages(), message.isEmpty() ? QStringList() : QStringList{message});
}

void TestIndexEditor::pageCellsAreTrimmed_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("page blanks") << 0 << " 12\t"
                                 << "12";
    QTest::newRow("page control characters") << 0
                                             << QString("\x01"
                                                        "7\r\n")
                                             << "7";
    QTest::newRow("description untouched") << 1 << " a b "
                                           << " a b ";
}

void TestIndexEditor::pageCellsAreTrimmed()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QCOMPARE(TindexForm::AdvStringGrid1CellValidate(column, typed), kept);
}

void TestIndexEditor::saveAndOpenGiveBackTheRows()
{
    IndexGrid grid;
    grid.rows = {{"Page", "Description"},
                 {"1", "Sommaire"},
                 {"3", "Prix, tarifs"},
                 {"", "sans page"},
                 {"8", "deux\r\nlignes \"citées\""}};
    m_form->setGrid(grid);
    const QString path = m_dir.filePath("index.csv");
    m_prompts.answerSaveFile(path);
    m_form->AdvGlowButton1->click();
    QCOMPARE(m_prompts.asked().last().caption, QStringLiteral("Save catalog"));

    m_form->setGrid(IndexGrid::initial());
    m_prompts.answerOpenFile(path);
    m_form->AdvGlowButton2->click();
    QCOMPARE(m_prompts.asked().last().caption, QStringLiteral("Open catalog"));
    QCOMPARE(m_form->grid(), grid);
    QCOMPARE(m_prompts.messages(), QStringList());
}

void TestIndexEditor::emptyFileIsRefused()
{
    const QString path = m_dir.filePath("empty.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    m_form->AdvStringGrid1->item(1, 1)->setText("kept");
    m_prompts.answerOpenFile(path);
    m_form->AdvGlowButton2->click();
    QCOMPARE(m_prompts.messages(), QStringList{"Erreur: File is empty"});
    QCOMPARE(rows(), (Rows{{"Page", "Description"}, {"", "kept"}}));
}

void TestIndexEditor::cancelledDialogsChangeNothing()
{
    m_form->AdvStringGrid1->item(1, 1)->setText("kept");
    m_prompts.answerCancel();
    m_form->AdvGlowButton1->click();
    m_prompts.answerCancel();
    m_form->AdvGlowButton2->click();
    QCOMPARE(rows(), (Rows{{"Page", "Description"}, {"", "kept"}}));
    QCOMPARE(m_prompts.messages(), QStringList());
    QCOMPARE(m_prompts.unansweredDialogs(), 0);
}

QTEST_MAIN(TestIndexEditor)
#include "tst_indexeditor.moc"
